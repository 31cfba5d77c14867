#include "platform/Picture.h"

#include "platform/Error.h"

#include <QBuffer>

namespace caltrix::platform {

void TPicture::Assign(const TPersistent* source)
{
    if (const auto* picture = dynamic_cast<const TPicture*>(source)) {
        image_ = picture->image_;
        return;
    }
    TPersistent::Assign(source);
}

QByteArray TPicture::Data() const
{
    if (image_.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image_.save(&buffer, "PNG");
    return bytes;
}

void TPicture::SetData(const QByteArray& data)
{
    if (data.isEmpty()) {
        image_ = QImage();
        return;
    }
    QImage image;
    if (!image.loadFromData(data))
        throw Error(QStringLiteral("The stored picture cannot be read: its data is not an image."));
    image_ = image;
}

} // namespace caltrix::platform
