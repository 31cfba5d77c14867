#include "platform/Picture.h"

#include "platform/Error.h"

namespace caltrix::platform {

namespace {

// PNG: the 8-byte signature, then the IHDR chunk (length 13 big-endian, "IHDR", width and height
// as non-zero 32-bit big-endian numbers).
bool isPng(const QByteArray& data)
{
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    static const QByteArray header("\0\0\0\x0dIHDR", 8);
    if (data.size() < 24 || !data.startsWith(signature) || data.mid(8, 8) != header)
        return false;
    const auto nonZero = [&](int at) { return data.mid(at, 4) != QByteArray(4, '\0'); };
    return nonZero(16) && nonZero(20);
}

// JPEG starts with a start-of-image marker followed by another marker; BMP with "BM"; GIF with
// its version tag.
bool isOtherImage(const QByteArray& data)
{
    return data.startsWith(QByteArray("\xFF\xD8\xFF", 3)) || (data.size() >= 26 && data.startsWith("BM"))
        || data.startsWith("GIF87a") || data.startsWith("GIF89a");
}

} // namespace

void TPicture::Assign(const TPersistent* source)
{
    if (const auto* picture = dynamic_cast<const TPicture*>(source)) {
        data_ = picture->data_;
        return;
    }
    TPersistent::Assign(source);
}

void TPicture::SetData(const QByteArray& data)
{
    if (!data.isEmpty() && !isPng(data) && !isOtherImage(data))
        throw Error(QStringLiteral("The stored picture cannot be read: its data is not an image."));
    data_ = data;
}

} // namespace caltrix::platform
