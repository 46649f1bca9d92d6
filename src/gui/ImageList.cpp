#include "gui/ImageList.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace vireo::gui {

namespace {

constexpr int kSize = 32;

const QColor kInk(40, 40, 48);
const QColor kGreen(46, 150, 60);
const QColor kRed(200, 44, 36);
const QColor kBlue(40, 100, 190);
const QColor kPaper(250, 250, 244);
const QColor kFolder(230, 180, 70);

// A database drum, shared by the connect and import pictures.
void DrawDrum(QPainter& p, QRectF box) {
    const double cap = box.height() / 5;
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(170, 190, 215));
    QPainterPath body;
    body.moveTo(box.left(), box.top() + cap / 2);
    body.lineTo(box.left(), box.bottom() - cap / 2);
    body.arcTo(QRectF(box.left(), box.bottom() - cap, box.width(), cap), 180, 180);
    body.lineTo(box.right(), box.top() + cap / 2);
    p.drawPath(body);
    p.setBrush(QColor(200, 215, 235));
    p.drawEllipse(QRectF(box.left(), box.top(), box.width(), cap));
}

void DrawPage(QPainter& p, QRectF box) {
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kPaper);
    p.drawRect(box);
    p.setPen(QPen(QColor(120, 120, 130), 1.5));
    for (double y = box.top() + 5; y < box.bottom() - 3; y += 4) {
        p.drawLine(QPointF(box.left() + 3, y), QPointF(box.right() - 3, y));
    }
}

void DrawPlug(QPainter& p, QPointF at, bool left) {
    const double dir = left ? -1 : 1;
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(120, 120, 128));
    p.drawRect(QRectF(at.x() - (left ? 8 : 0), at.y() - 5, 8, 10));
    p.setPen(QPen(kInk, 2));
    p.drawLine(QPointF(at.x() + dir * 8, at.y() - 3), QPointF(at.x() + dir * 12, at.y() - 3));
    p.drawLine(QPointF(at.x() + dir * 8, at.y() + 3), QPointF(at.x() + dir * 12, at.y() + 3));
    p.setPen(QPen(kInk, 2.5));
    p.drawLine(at, QPointF(at.x() - dir * 14, at.y()));  // the cable
}

void Paint(QPainter& p, ActionImage image) {
    switch (image) {
        case ActionImage::Disconnect:
            DrawPlug(p, QPointF(14, 16), false);
            DrawPlug(p, QPointF(30, 16), true);
            p.setPen(QPen(kRed, 3));
            p.drawLine(QPointF(21, 6), QPointF(17, 26));
            break;
        case ActionImage::Connect:
            DrawDrum(p, QRectF(14, 4, 16, 24));
            p.setPen(QPen(kGreen, 3));
            p.drawLine(QPointF(2, 16), QPointF(12, 16));
            p.setBrush(kGreen);
            p.drawPolygon(QPolygonF({QPointF(9, 11), QPointF(14, 16), QPointF(9, 21)}));
            break;
        case ActionImage::Details:
            DrawPage(p, QRectF(3, 3, 20, 26));
            p.setPen(QPen(kBlue, 2.5));
            p.setBrush(QColor(220, 235, 255, 200));
            p.drawEllipse(QPointF(21, 18), 6, 6);
            p.drawLine(QPointF(25, 22), QPointF(30, 28));
            break;
        case ActionImage::StatusLog:
            DrawPage(p, QRectF(3, 3, 20, 26));
            p.setPen(QPen(kInk, 1.5));
            p.setBrush(kBlue);
            p.drawRect(QRectF(16, 16, 14, 14));
            p.setBrush(kPaper);
            p.drawRect(QRectF(19, 16, 8, 5));
            break;
        case ActionImage::OpenLog:
            p.setPen(QPen(kInk, 1.5));
            p.setBrush(kFolder.darker(115));
            p.drawPolygon(QPolygonF(
                {QPointF(2, 8), QPointF(11, 8), QPointF(14, 11), QPointF(28, 11), QPointF(28, 27), QPointF(2, 27)}));
            p.setBrush(kFolder);
            p.drawPolygon(QPolygonF({QPointF(6, 15), QPointF(31, 15), QPointF(27, 27), QPointF(2, 27)}));
            break;
        case ActionImage::HelpContents: {
            p.setPen(QPen(kInk, 1.5));
            p.setBrush(kBlue);
            p.drawEllipse(QPointF(16, 16), 13, 13);
            p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            QPainterPath hook;
            hook.moveTo(11, 12);
            hook.cubicTo(11, 6, 21, 6, 21, 12);
            hook.cubicTo(21, 16, 16, 16, 16, 20);
            p.drawPath(hook);
            p.drawPoint(QPointF(16, 24.5));
            break;
        }
        case ActionImage::Start:
            DrawDrum(p, QRectF(16, 6, 14, 22));
            p.setPen(QPen(kInk, 1.5));
            p.setBrush(kGreen);
            p.drawPolygon(QPolygonF({QPointF(3, 6), QPointF(17, 16), QPointF(3, 26)}));
            break;
        case ActionImage::Stop: {
            QPolygonF octagon;
            for (int i = 0; i < 8; ++i) {
                const double a = (22.5 + 45.0 * i) * 3.14159265358979 / 180.0;
                octagon << QPointF(16 + 13 * std::cos(a), 16 + 13 * std::sin(a));
            }
            p.setPen(QPen(kInk, 1.5));
            p.setBrush(kRed);
            p.drawPolygon(octagon);
            p.setPen(QPen(Qt::white, 3));
            p.drawLine(QPointF(10, 16), QPointF(22, 16));
            break;
        }
        case ActionImage::Exit:
            p.setPen(QPen(kInk, 1.5));
            p.setBrush(QColor(150, 100, 60));
            p.drawRect(QRectF(4, 3, 14, 26));
            p.setBrush(kPaper);
            p.drawEllipse(QPointF(15, 16), 1.5, 1.5);
            p.setPen(QPen(kRed, 3));
            p.drawLine(QPointF(18, 16), QPointF(28, 16));
            p.setBrush(kRed);
            p.drawPolygon(QPolygonF({QPointF(25, 11), QPointF(31, 16), QPointF(25, 21)}));
            break;
    }
}

const char* ThemeName(ActionImage image) {
    switch (image) {
        case ActionImage::Disconnect:
            return "network-offline";
        case ActionImage::Connect:
            return "network-transmit-receive";
        case ActionImage::Details:
            return "edit-find";
        case ActionImage::StatusLog:
            return "document-save";
        case ActionImage::OpenLog:
            return "document-open";
        case ActionImage::HelpContents:
            return "help-contents";
        case ActionImage::Start:
            return "media-playback-start";
        case ActionImage::Stop:
            return "media-playback-stop";
        case ActionImage::Exit:
            return "application-exit";
    }
    return "";
}

/// The drawn picture alone (what shows where the theme has none).
QIcon DrawnActionIcon(ActionImage image) {
    QImage canvas(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::Antialiasing);
        Paint(painter, image);
    }
    return QIcon(QPixmap::fromImage(canvas));
}

}  // namespace

QIcon ActionIcon(ActionImage image) {
    return QIcon::fromTheme(QLatin1String(ThemeName(image)), DrawnActionIcon(image));
}

QIcon ActionIcon(int index) {
    if (index < 0 || index >= kActionImageCount) return {};
    return ActionIcon(static_cast<ActionImage>(index));
}

}  // namespace vireo::gui
