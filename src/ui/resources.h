// The program's compiled-in images (icons, badges, tree icons).
#pragma once

#include <QIcon>

namespace orvanta {

// Registers them; safe to call more than once. They live in a static library, so the
// registration must be referenced from code that is linked, or the linker leaves it out.
void InitResources();

// The program's icon in the sizes the desktop asks for.
QIcon ProgramIcon();

}  // namespace orvanta
