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

}  // namespace orvanta
