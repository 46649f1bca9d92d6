// Draws the About dialog's picture (a river gauge station under a sky, with a
// logged curve) and writes it as a JPEG with libjpeg. Not part of the build;
// run it again only to change the picture:
//   g++ -std=c++20 -fPIC MakePicture.cpp $(pkg-config --cflags --libs Qt6Gui) -ljpeg -o make-picture
//   QT_QPA_PLATFORM=offscreen ./make-picture about.jpg
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

// clang-format off
#include <cstdio>  // before jpeglib.h, which needs FILE and size_t
#include <jpeglib.h>
// clang-format on

namespace {

constexpr int kWidth = 270;
constexpr int kHeight = 198;

QImage Draw() {
    QImage image(kWidth, kHeight, QImage::Format_RGB888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0.0, QColor(38, 84, 150));
    sky.setColorAt(0.6, QColor(150, 190, 225));
    sky.setColorAt(1.0, QColor(220, 232, 240));
    p.fillRect(image.rect(), sky);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 236, 170));
    p.drawEllipse(QPointF(214, 40), 17, 17);

    QPainterPath far;
    far.moveTo(0, 120);
    far.cubicTo(60, 80, 110, 110, 160, 92);
    far.cubicTo(200, 78, 240, 100, kWidth, 88);
    far.lineTo(kWidth, kHeight);
    far.lineTo(0, kHeight);
    p.setBrush(QColor(74, 118, 86));
    p.drawPath(far);

    QPainterPath near;
    near.moveTo(0, 150);
    near.cubicTo(80, 128, 150, 150, kWidth, 132);
    near.lineTo(kWidth, kHeight);
    near.lineTo(0, kHeight);
    p.setBrush(QColor(98, 146, 76));
    p.drawPath(near);

    QPainterPath river;
    river.moveTo(0, 176);
    river.cubicTo(90, 160, 170, 186, kWidth, 166);
    river.lineTo(kWidth, kHeight);
    river.lineTo(0, kHeight);
    p.setBrush(QColor(60, 110, 170));
    p.drawPath(river);

    // The station: a mast with a solar panel and the logger box.
    p.setPen(QPen(QColor(60, 60, 60), 3));
    p.drawLine(QPointF(70, 152), QPointF(70, 86));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 40, 70));
    p.drawPolygon(QPolygonF({QPointF(56, 92), QPointF(86, 86), QPointF(90, 100), QPointF(60, 106)}));
    p.setBrush(QColor(235, 235, 228));
    p.drawRect(QRectF(60, 122, 22, 26));
    p.setBrush(QColor(200, 60, 40));
    p.drawEllipse(QPointF(71, 130), 2.5, 2.5);

    // The logged curve, as on a chart.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 220), 2.5));
    QPainterPath curve;
    for (int x = 100; x <= 258; x += 2) {
        const double y = 62 + 14 * std::sin((x - 100) / 18.0) + 6 * std::sin((x - 100) / 7.0);
        if (x == 100)
            curve.moveTo(x, y);
        else
            curve.lineTo(x, y);
    }
    p.drawPath(curve);
    p.end();
    return image;
}

bool WriteJpeg(const QImage& image, const char* path) {
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(image.width());
    info.image_height = static_cast<JDIMENSION>(image.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 82, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto* row = const_cast<JSAMPLE*>(image.constScanLine(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-picture OUTPUT.jpg\n");
        return 2;
    }
    return WriteJpeg(Draw(), argv[1]) ? 0 : 1;
}
