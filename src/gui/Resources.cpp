#include "gui/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a function of the global namespace.
static void InitVireoImportResource() { Q_INIT_RESOURCE(VireoImport); }

namespace vireo::gui {

void InitGuiResources() {
    static const bool done = (InitVireoImportResource(), true);
    (void)done;
}

}  // namespace vireo::gui
