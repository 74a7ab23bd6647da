// VQTank: the parts the client component relies on (ID and the sink, whose body lives with the
// other table-made definitions).
#include "controls/VQTank.h"

namespace Varnel {

VQTank::VQTank(QWidget* parent) : QWidget(parent) { resize(160, 160); }

VQTank::~VQTank() = default;

void VQTank::SetID(int32_t value) {
    if (value == _ID) return;
    _ID = value;
    update();
}

QSize VQTank::sizeHint() const { return QSize(160, 160); }

}  // namespace Varnel
