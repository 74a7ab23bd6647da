// A host of the installed package: builds a component, reads its version texts (one of them
// from the client library it brings along) and forwards one of its signals through a delegate.
#include <QApplication>

#include <cstdio>

#include "controls/Quendril.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Varnel::Quendril q;
    int32_t selected = 0;
    Varnel::CurrentPumpEventHandler onCurrentPump = [&](int32_t NewCurrentPump) { selected = NewCurrentPump; };
    QObject::connect(&q, &Varnel::Quendril::CurrentPumpEvent, onCurrentPump);
    q.SetCurrentPump(4);

    QString net, dll;
    if (q.GetNETVersion(net) != 0 || !net.startsWith(QStringLiteral("Varnel .NET package"))) return 1;
    if (q.GetDLLVersion(dll) != 0 || dll.isEmpty()) return 2;
    if (selected != 4) return 3;
    std::printf("%s\n%s\n", qPrintable(net), qPrintable(dll));
    return 0;
}
