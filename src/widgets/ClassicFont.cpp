#include "widgets/ClassicFont.h"

namespace caltrix::widgets {

QFont classicFont(const QString& family, int pixelSize, QFont::StyleHint kind)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    // The style hint steers the font matcher's fallback when the family is missing.
    font.setStyleHint(kind);
    return font;
}

} // namespace caltrix::widgets
