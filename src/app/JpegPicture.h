#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QString>

namespace caltrix::app {

// Decodes a JPEG held in memory with libjpeg-turbo. On failure (not a JPEG, truncated, damaged,
// larger than MaxJpegSide in either direction) returns a null image and sets `error` to one line.
// Any thread.
QImage DecodeJpeg(QByteArrayView data, QString& error);

// The largest width or height DecodeJpeg accepts: a logo is small, and a damaged header must not
// make it allocate gigabytes.
inline constexpr int MaxJpegSide = 4096;

// The window's logo picture, compiled into the program. Null when it cannot be read or decoded,
// after one line on standard error saying why; the logo box then stays empty.
QImage LoadLogo();

} // namespace caltrix::app
