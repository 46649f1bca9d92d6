#pragma once

#include <QString>

class QObject;

namespace vireo::gui {

/// The property that holds the whole hint of an action or a control.
inline constexpr const char* kHintProperty = "hint";

/// The text of a hint before the first "|" (the tooltip) and after it (the
/// status bar); a hint without "|" is both.
QString GetShortHint(const QString& hint);
QString GetLongHint(const QString& hint);

/// Gives an action or a widget its hint: the short part as its tooltip, the
/// whole hint as its status tip (the window shows the long part of it).
void SetHint(QObject* object, const QString& hint);

}  // namespace vireo::gui
