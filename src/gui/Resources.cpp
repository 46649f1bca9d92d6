#include "gui/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a function of the global namespace.
static void InitVireoImportResource() { Q_INIT_RESOURCE(VireoImport); }

namespace vireo::gui {

void InitGuiResources() {
    static const bool done = (InitVireoImportResource(), true);
    (void)done;
}

QIcon ProgramIcon() {
    InitGuiResources();
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/vireo/icon-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace vireo::gui
