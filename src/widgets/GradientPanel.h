#pragma once

#include <QColor>
#include <QWidget>

#include <cstdint>

namespace caltrix::widgets {

// The named colour sets of a gradient panel. csCustom keeps whatever colours the panel has.
enum class ColorScheme : std::uint8_t { csCustom = 0, csDesert, csGrass, csSilver, csSky, csRose, csSun };

// The four colours a panel paints with.
struct PanelColors {
    QColor face;     // top of the gradient
    QColor gradient; // bottom of the gradient
    QColor light;    // inner edge
    QColor dark;     // outer frame
    bool operator==(const PanelColors&) const = default;
};

// The colours of a named scheme; csCustom has none of its own and answers the designed silver look.
PanelColors schemeColors(ColorScheme scheme);

// A panel with a vertical gradient from the face colour at the top to the gradient colour at the
// bottom, framed by a line in the dark colour with the light colour just inside it. Starts with
// the silver colours (white face) and the scheme csSilver. Main thread only.
class GradientPanel final : public QWidget {
public:
    explicit GradientPanel(QWidget* parent = nullptr);

    ColorScheme colorScheme() const { return scheme_; }
    // 1..6 set that scheme's colours, 0 (csCustom) keeps the current colours; any other number
    // changes nothing.
    void setColorScheme(std::uint8_t scheme);

    // Sets all four colours; the scheme becomes csCustom.
    void setColors(const PanelColors& colors);
    const PanelColors& colors() const { return colors_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ColorScheme scheme_ = ColorScheme::csSilver;
    PanelColors colors_;
};

} // namespace caltrix::widgets
