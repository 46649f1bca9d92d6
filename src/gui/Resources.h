#pragma once

#include <QIcon>

namespace vireo::gui {

/// Registers the window's resources (the About picture, the icon). The resources live in
/// a static library, so they are registered by hand; calling again is harmless.
void InitGuiResources();

/// The program's icon in every size it is drawn in (the one the desktop entry
/// names, "vireoimport" in the hicolor theme).
QIcon ProgramIcon();

}  // namespace vireo::gui
