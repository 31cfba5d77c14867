#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>

namespace caltrix::app {

// The calibration window's design in device-independent pixels, positions relative to the client
// area. Qt scales all of it with the desktop, so the window keeps its shape at any scale factor.
namespace layout {

inline constexpr int BorderWidth = 1; // drawn around the client area
inline constexpr QSize ClientSize { 322, 198 };

// Windowless items, in painting order (later over earlier).
inline constexpr QRect shp1 { 0, 25, 322, 173 };     // the white background below the band
inline constexpr QRect Shape1 { 8, 136, 305, 17 };   // the scale bar: 0 at its left edge, 50 at its right
inline constexpr QRect Shape2 { 8, 136, 10, 17 };    // the target marker
inline constexpr QRect Shape3 { 0, 0, 322, 25 };     // the red top band (dragging it moves the window)
inline constexpr QRect VrArrow1 { 29, 147, 33, 41 }; // the current-speed pointer
inline constexpr QRect Image1 { 0, 2, 97, 17 };      // the logo, drawn unscaled and clipped
// Labels grow to the right from these corners as their text needs.
inline constexpr QPoint lblSpeed { 8, 112 };
inline constexpr QPoint lblTarget { 200, 112 };
inline constexpr QPoint Label1 { 8, 184 };
inline constexpr QPoint Label2 { 296, 155 };
inline constexpr QPoint lblCirc { 81, 92 };
// Controls with windows of their own, over every item above.
inline constexpr QRect Button1 { 8, 35, 89, 41 };
inline constexpr QRect Button2 { 112, 35, 97, 41 };
inline constexpr QRect Button3 { 224, 35, 89, 41 };
inline constexpr QRect Button4 { 232, 168, 81, 25 };
inline constexpr QRect editCirc { 168, 88, 41, 21 };

// Below the designed area, after a 1 px line of the border's colour: the run strip. The window
// grows by it while it is shown. Relative to the window, not the client area.
inline constexpr QRect RunStrip { BorderWidth, BorderWidth + ClientSize.height() + 1, 322, 110 };

inline constexpr QColor Red { 0xFF, 0x00, 0x00 };
inline constexpr QColor Aqua { 0x00, 0xFF, 0xFF };

// The highest speed of the scale.
inline constexpr double ScaleEnd = 50;

} // namespace layout

// Rounds to the nearest integer, halves to the even neighbour. Values beyond what a window
// coordinate can hold stop at ±2^30; NaN gives 0.
int RoundHalfEven(long double value);

// The left edge that centres an item `itemWidth` wide on `speed` of the scale bar `bar`. Not
// clamped: a speed outside 0..50 places the item beyond the ends of the bar.
int ScaleItemLeft(const QRect& bar, int itemWidth, double speed);

// The roll-diameter setting for a roller of `circumference` millimetres: the circumference over
// 8.89·π, rounded halves to even (2070 gives 74, 2096 gives 75).
std::int32_t CircumferenceToRollDiameter(std::int32_t circumference);

} // namespace caltrix::app
