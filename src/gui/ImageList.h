#pragma once

#include <QIcon>

namespace vireo::gui {

/// The nine pictures shared by the menus, the toolbar and the actions, by index:
/// 0 disconnect, 1 connect, 2 detail messages, 3 status log, 4 open log file,
/// 5 help contents, 6 start import, 7 stop import, 8 exit. Each comes from the
/// desktop's icon theme when it has one, otherwise it is drawn here.
enum class ActionImage { Disconnect, Connect, Details, StatusLog, OpenLog, HelpContents, Start, Stop, Exit };

constexpr int kActionImageCount = 9;

QIcon ActionIcon(ActionImage image);
QIcon ActionIcon(int index);

}  // namespace vireo::gui
