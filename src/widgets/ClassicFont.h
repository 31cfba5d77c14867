#pragma once

#include <QFont>
#include <QString>

namespace caltrix::widgets {

// A font asked for by its classic desktop name (such as "MS Sans Serif") at a pixel height. Where
// that family is not installed, as on most Linux desktops, the desktop's family of the same kind
// (sans-serif or serif, after `kind`) stands in, so text keeps its size and character.
QFont classicFont(const QString& family, int pixelSize, QFont::StyleHint kind = QFont::SansSerif);

} // namespace caltrix::widgets
