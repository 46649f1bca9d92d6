#include "gui/MainHints.h"

#include <QAction>
#include <QVariant>
#include <QWidget>

namespace vireo::gui {

QString GetShortHint(const QString& hint) {
    const qsizetype bar = hint.indexOf(u'|');
    return bar < 0 ? hint : hint.left(bar);
}

QString GetLongHint(const QString& hint) {
    const qsizetype bar = hint.indexOf(u'|');
    return bar < 0 ? hint : hint.mid(bar + 1);
}

void SetHint(QObject* object, const QString& hint) {
    object->setProperty(kHintProperty, hint);
    if (auto* action = qobject_cast<QAction*>(object)) {
        action->setToolTip(GetShortHint(hint));  // empty: Qt shows the caption
        action->setStatusTip(hint);
    } else if (auto* widget = qobject_cast<QWidget*>(object)) {
        widget->setToolTip(GetShortHint(hint));
        widget->setStatusTip(hint);
    }
}

}  // namespace vireo::gui
