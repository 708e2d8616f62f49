#include "ui/resources.h"

#include <QtGlobal>

// Outside the namespace, as the macro needs.
static void InitCompiledResources() {
    Q_INIT_RESOURCE(orvanta);
}

namespace orvanta {

void InitResources() {
    InitCompiledResources();
}

QIcon ProgramIcon() {
    InitResources();
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/orvanta-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace orvanta
