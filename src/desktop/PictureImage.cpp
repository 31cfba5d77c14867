#include "desktop/PictureImage.h"

#include <QBuffer>

namespace caltrix::desktop {

QImage pictureImage(const platform::TPicture& picture)
{
    QImage image;
    if (!picture.Empty())
        image.loadFromData(picture.Data());
    return image;
}

void setPictureImage(platform::TPicture& picture, const QImage& image)
{
    QByteArray bytes;
    if (!image.isNull()) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    picture.SetData(bytes);
}

} // namespace caltrix::desktop
