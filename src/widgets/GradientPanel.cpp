#include "widgets/GradientPanel.h"

#include <QLinearGradient>
#include <QPainter>

#include <array>

namespace caltrix::widgets {

namespace {
constexpr std::uint8_t LastScheme = static_cast<std::uint8_t>(ColorScheme::csSun);

// Indexed by ColorScheme; every named scheme has a white face. The csCustom row repeats silver.
const std::array<PanelColors, LastScheme + 1>& schemeTable()
{
    static const std::array<PanelColors, LastScheme + 1> table = { {
        { Qt::white, QColor(0xDEE0DA), QColor(0x7D7D7D), QColor(0x626262) }, // csCustom
        { Qt::white, QColor(0xFFE1A4), QColor(0xD58F00), QColor(0x9B6900) }, // csDesert
        { Qt::white, QColor(0xCBF2B0), QColor(0x6AB53E), QColor(0x376F15) }, // csGrass
        { Qt::white, QColor(0xDEE0DA), QColor(0x7D7D7D), QColor(0x626262) }, // csSilver
        { Qt::white, QColor(0xC1E0FF), QColor(0x4D96F0), QColor(0x0059B3) }, // csSky
        { Qt::white, QColor(0xFFCCCC), QColor(0xCC5106), QColor(0x9D0000) }, // csRose
        { Qt::white, QColor(0xFFFFBF), QColor(0x959500), QColor(0x646400) }, // csSun
    } };
    return table;
}
} // namespace

PanelColors schemeColors(ColorScheme scheme) { return schemeTable().at(static_cast<std::size_t>(scheme)); }

GradientPanel::GradientPanel(QWidget* parent)
    : QWidget(parent)
    , colors_(schemeColors(ColorScheme::csSilver))
{
    // Not marked opaque although it paints every pixel: Qt leaves opaque children out when their
    // parent repaints, and a window repainted as a whole must repaint the panel too.
}

void GradientPanel::setColorScheme(std::uint8_t scheme)
{
    if (scheme > LastScheme)
        return;
    scheme_ = static_cast<ColorScheme>(scheme);
    if (scheme_ != ColorScheme::csCustom && colors_ != schemeColors(scheme_)) {
        colors_ = schemeColors(scheme_);
        update();
    }
}

void GradientPanel::setColors(const PanelColors& colors)
{
    scheme_ = ColorScheme::csCustom;
    if (colors == colors_)
        return;
    colors_ = colors;
    update();
}

void GradientPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect all = rect();
    QLinearGradient fill(all.topLeft(), all.bottomLeft());
    fill.setColorAt(0, colors_.face);
    fill.setColorAt(1, colors_.gradient);
    painter.fillRect(all, fill);
    if (all.width() < 2 || all.height() < 2)
        return;
    // Cosmetic one-pixel lines: the outer frame and, inside it, a lighter edge.
    painter.setPen(colors_.dark);
    painter.drawRect(all.adjusted(0, 0, -1, -1));
    painter.setPen(colors_.light);
    painter.drawRect(all.adjusted(1, 1, -2, -2));
}

} // namespace caltrix::widgets
