// VQPump: the parts the client component relies on (ID, IsCurrentPump, the sinks, whose
// bodies live with the other table-made definitions).
#include "controls/VQPump.h"

namespace Varnel {

VQPump::VQPump(QWidget* parent) : QWidget(parent) { resize(80, 80); }

VQPump::~VQPump() = default;

void VQPump::SetID(int32_t value) {
    if (value == _ID) return;
    _ID = value;
    update();
}

void VQPump::SetIsCurrentPump(bool value) {
    if (value == _isCurrent) return;
    _isCurrent = value;
    update();
}

QSize VQPump::sizeHint() const { return QSize(80, 80); }

}  // namespace Varnel
