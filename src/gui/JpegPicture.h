#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace vireo::gui {

/// Decodes a JPEG picture with libjpeg into an RGB image. A null image when
/// the bytes are no JPEG that libjpeg can read; `error` then holds libjpeg's
/// own message.
QImage DecodeJpeg(const QByteArray& bytes, QString* error = nullptr);

}  // namespace vireo::gui
