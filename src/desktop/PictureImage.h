#pragma once

#include "platform/Picture.h"

#include <QImage>

namespace caltrix::desktop {

// The picture decoded for showing; a null image for an empty picture or bytes that do not decode.
QImage pictureImage(const platform::TPicture& picture);

// Stores `image` in `picture` as PNG bytes; a null image empties the picture.
void setPictureImage(platform::TPicture& picture, const QImage& image);

} // namespace caltrix::desktop
