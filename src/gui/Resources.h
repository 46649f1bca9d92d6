#pragma once

namespace vireo::gui {

/// Registers the window's resources (the About picture). The resources live in
/// a static library, so they are registered by hand; calling again is harmless.
void InitGuiResources();

}  // namespace vireo::gui
