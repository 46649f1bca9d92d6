#include "gui/JpegPicture.h"

#include <csetjmp>

// clang-format off
#include <cstdio>  // before jpeglib.h, which needs FILE and size_t
#include <jpeglib.h>
// clang-format on

namespace vireo::gui {

namespace {

// libjpeg reports a fatal error through error_exit, which must not return. It
// jumps back to the setjmp of the small step that called libjpeg; those steps
// hold no C++ object with a destructor, so the jump skips no clean-up.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnFatalError(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void OnWarning(j_common_ptr) {}  // a slightly damaged picture still shows

bool StartDecoding(jpeg_decompress_struct* info, JpegErrors* errors, const unsigned char* data, unsigned long size) {
    if (setjmp(errors->jump)) return false;
    jpeg_create_decompress(info);
    jpeg_mem_src(info, data, size);
    jpeg_read_header(info, TRUE);
    info->out_color_space = JCS_RGB;
    jpeg_start_decompress(info);
    return true;
}

bool ReadRows(jpeg_decompress_struct* info, JpegErrors* errors, unsigned char* bits, long long stride) {
    if (setjmp(errors->jump)) return false;
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = bits + stride * static_cast<long long>(info->output_scanline);
        jpeg_read_scanlines(info, &row, 1);
    }
    jpeg_finish_decompress(info);
    return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& bytes, QString* error) {
    JpegErrors errors{};
    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = OnFatalError;
    errors.manager.output_message = OnWarning;

    QImage image;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    if (bytes.isEmpty()) {
        if (error) *error = QStringLiteral("Empty input file");
        return image;
    }
    bool done = StartDecoding(&info, &errors, data, static_cast<unsigned long>(bytes.size()));
    if (done && info.output_components == 3) {
        image =
            QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height), QImage::Format_RGB888);
        done = !image.isNull() && ReadRows(&info, &errors, image.bits(), image.bytesPerLine());
        if (!done && image.isNull()) std::snprintf(errors.message, sizeof errors.message, "Picture too large");
    } else if (done) {
        done = false;
        std::snprintf(errors.message, sizeof errors.message, "Unsupported colour layout");
    }
    jpeg_destroy_decompress(&info);
    if (!done) {
        image = QImage();
        if (error) *error = QString::fromLocal8Bit(errors.message);
    }
    return image;
}

}  // namespace vireo::gui
