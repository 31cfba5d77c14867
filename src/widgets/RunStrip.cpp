#include "widgets/RunStrip.h"

#include "widgets/ClassicFont.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace caltrix::widgets {

namespace {

using State = runs::RunVerdict::State;

// The layout, in device-independent pixels: a text row at the top, the chart, a text row at the
// bottom, and a column left of the chart for the speeds of the scale.
constexpr int Margin = 4;
constexpr int RowHeight = 16;
constexpr int ScaleColumn = 26;
constexpr int ChartTop = 20;
constexpr int ChartBottomGap = 21;
constexpr int MarkDiameter = 8;
// The trace keeps clear of the chart's sides, so the newest speed's dot shows whole.
constexpr double TraceInset = 4;

// How far the chart reaches beyond the target: at least 4 bands either side, so the band is seen
// in its surroundings, and at most 8, so it stays clearly visible while the speed is still far
// off; in between, far enough to show the speeds of the trace, with a little room to spare.
constexpr double LeastReachInBands = 4;
constexpr double MostReachInBands = 8;
constexpr double Headroom = 1.1;
// However narrow the band, the chart spans at least this far either side of the target.
constexpr double LeastReachKmh = 0.2;
// Without a target the chart spans the speeds, at least this many km/h.
constexpr double LeastSpanKmh = 2;
// With neither a target nor a speed: the window's own 0 to 50 km/h scale.
constexpr double EmptyTopKmh = 50;

// The scale's lines lie a round step apart (1, 2 or 5 times a power of ten km/h), at least this
// many pixels apart.
constexpr double LeastStepPixels = 16;
// A label of the scale this close to the target's label is left out; a line this close to the
// chart's frame is left to the frame.
constexpr double TargetLabelClearance = 11;
constexpr double FrameClearance = 3;

const QColor Background = Qt::white;
const QColor Ink(0x20, 0x20, 0x20);
const QColor QuietInk(0x44, 0x44, 0x44);
const QColor ScaleInk(0x70, 0x70, 0x70);
const QColor GridLine(0xE6, 0xE6, 0xE6);
const QColor ChartFrame(0xC8, 0xC8, 0xC8);
const QColor TargetLine(0x1F, 0x5F, 0xAF);

// The colours of a verdict: its words (dark enough to read on white), the mark beside them, and
// the band's shade.
struct VerdictColours {
    QColor text;
    QColor mark;
    QColor band;
};

VerdictColours coloursOf(State state)
{
    switch (state) {
    case State::Settling:
        return { QColor(0x8C, 0x52, 0x00), QColor(0xF0, 0xA0, 0x20), QColor(0xFC, 0xE0, 0xA4) };
    case State::Steady:
        return { QColor(0x1E, 0x7B, 0x34), QColor(0x2E, 0xA0, 0x48), QColor(0xC6, 0xE9, 0xCC) };
    case State::TrainerLost:
        return { QColor(0xB3, 0x26, 0x1E), QColor(0xB3, 0x26, 0x1E), QColor(0xDE, 0xDE, 0xDE) };
    case State::NoTarget:
        break;
    }
    return { QColor(0x5F, 0x5F, 0x5F), QColor(0xA0, 0xA0, 0xA0), QColor(0xD2, 0xE2, 0xF4) };
}

QFont textFont() { return classicFont(QStringLiteral("MS Sans Serif"), 11); }

QFont boldTextFont()
{
    QFont font = textFont();
    font.setBold(true);
    return font;
}

QFont scaleFont() { return classicFont(QStringLiteral("MS Sans Serif"), 9); }

// A speed as the scale labels it: no trailing zeros, a point whatever the locale.
QString speedLabel(double kmh) { return QString::number(kmh, 'g', 4); }

// Where speeds and ticks land in the chart.
struct ChartScale {
    QRectF area;
    double low = 0;
    double high = 0;

    double y(double kmh) const { return area.bottom() - (kmh - low) / (high - low) * area.height(); }
    // The newest of `count` ticks sits at the right edge, the older ones a step apart to its left.
    double x(std::size_t index, std::size_t count) const
    {
        const double step = (area.width() - 2 * TraceInset) / (RunStrip::TracePoints - 1);
        return area.right() - TraceInset - static_cast<double>(count - 1 - index) * step;
    }
};

ChartScale scaleAround(const QRectF& area, double target, double band, const std::deque<std::optional<double>>& trace)
{
    double farthest = 0;
    for (const std::optional<double>& speed : trace)
        if (speed)
            farthest = std::max(farthest, std::abs(*speed - target));
    const double reach
        = std::max({ LeastReachInBands * band, std::min(Headroom * farthest, MostReachInBands * band), LeastReachKmh });
    const double low = std::max(0.0, target - reach);
    return { area, low, std::max(target + reach, low + 2 * LeastReachKmh) };
}

ChartScale scaleOfSpeeds(const QRectF& area, const std::deque<std::optional<double>>& trace)
{
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (const std::optional<double>& speed : trace)
        if (speed) {
            lowest = std::min(lowest, *speed);
            highest = std::max(highest, *speed);
        }
    if (lowest > highest)
        return { area, 0, EmptyTopKmh };
    const double middle = (lowest + highest) / 2;
    const double halfSpan = Headroom * std::max(highest - lowest, LeastSpanKmh) / 2;
    const double low = std::max(0.0, middle - halfSpan);
    return { area, low, low + 2 * halfSpan };
}

// The scale's step in km/h; 0 when the chart has no room for lines.
double scaleStep(const ChartScale& scale)
{
    const double least = LeastStepPixels * (scale.high - scale.low) / scale.area.height();
    if (!std::isfinite(least) || least <= 0)
        return 0;
    const double decade = std::pow(10.0, std::floor(std::log10(least)));
    for (double multiple : { 1.0, 2.0, 5.0 })
        if (multiple * decade >= least)
            return multiple * decade;
    return 10 * decade;
}

// Where a speed's label goes in the scale column: centred on its line, but within the chart's
// height, so the speeds at its top and bottom edges are labelled too.
QRectF labelBox(const ChartScale& scale, double kmh)
{
    const double half = RowHeight / 2.0;
    const double middle = std::clamp(scale.y(kmh), scale.area.top() + half - 3, scale.area.bottom() - half + 3);
    return { Margin, middle - half, ScaleColumn - 3, RowHeight };
}

// Light lines at round speeds, labelled in the column to the left; the target, when there is one,
// is labelled in its own colour, and the labels next to it give way.
void paintGrid(QPainter& painter, const ChartScale& scale, std::optional<double> target)
{
    // Speeds in binary are not exactly round: rounding is no reason to lose the chart's edge lines.
    constexpr double Rounding = 1e-9;
    // The step keeps the lines apart, so the chart's height bounds their number.
    const int mostLines = static_cast<int>(scale.area.height() / LeastStepPixels) + 2;
    const double step = scaleStep(scale);
    const double first = step > 0 ? std::ceil(scale.low / step - Rounding) : 0;
    const double lines = step > 0 ? std::floor(scale.high / step + Rounding) - first + 1 : 0;
    const auto count = static_cast<int>(std::clamp(lines, 0.0, static_cast<double>(mostLines)));
    painter.setFont(scaleFont());
    for (int line = 0; line < count; ++line) {
        const double kmh = (first + line) * step;
        const double y = scale.y(kmh);
        if (y > scale.area.top() + FrameClearance && y < scale.area.bottom() - FrameClearance) {
            painter.setPen(GridLine);
            painter.drawLine(QPointF(scale.area.left(), y), QPointF(scale.area.right(), y));
        }
        const QRectF box = labelBox(scale, kmh);
        if (target && std::abs(box.center().y() - labelBox(scale, *target).center().y()) < TargetLabelClearance)
            continue;
        painter.setPen(ScaleInk);
        painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, speedLabel(kmh));
    }
    if (target) {
        QFont bold = scaleFont();
        bold.setBold(true);
        painter.setFont(bold);
        painter.setPen(TargetLine);
        painter.drawText(labelBox(scale, *target), Qt::AlignRight | Qt::AlignVCenter, speedLabel(*target));
    }
}

void paintBand(QPainter& painter, const ChartScale& scale, double target, double band, const QColor& shade)
{
    painter.fillRect(
        QRectF(QPointF(scale.area.left(), scale.y(target + band)), QPointF(scale.area.right(), scale.y(target - band))),
        shade);
    painter.setPen(QPen(TargetLine, 1));
    painter.drawLine(QPointF(scale.area.left(), scale.y(target)), QPointF(scale.area.right(), scale.y(target)));
}

// The speeds as a line, broken where a tick had none; a speed alone between two gaps is a dot, and
// the newest speed is marked with a dot too.
void paintTrace(
    QPainter& painter, const ChartScale& scale, const std::deque<std::optional<double>>& trace, QPolygonF& stretch)
{
    painter.setPen(QPen(Ink, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Ink);
    auto finishStretch = [&] {
        if (stretch.size() == 1)
            painter.drawEllipse(stretch.front(), 1, 1);
        else if (stretch.size() > 1)
            painter.drawPolyline(stretch);
        stretch.clear();
    };
    for (std::size_t i = 0; i < trace.size(); ++i) {
        if (trace[i])
            stretch.append(QPointF(scale.x(i, trace.size()), scale.y(*trace[i])));
        else
            finishStretch();
    }
    finishStretch();
    if (!trace.empty() && trace.back())
        painter.drawEllipse(QPointF(scale.x(trace.size() - 1, trace.size()), scale.y(*trace.back())), 2.5, 2.5);
}

// The run's caption at the left, how long it has been held at the right; the caption gives way.
void paintHeader(QPainter& painter, const QRect& row, const runs::RunPreset& preset, const QString& held)
{
    painter.setFont(textFont());
    painter.setPen(QuietInk);
    painter.drawText(row, Qt::AlignRight | Qt::AlignVCenter, held);
    const int captionWidth = row.width() - painter.fontMetrics().horizontalAdvance(held) - Margin;
    painter.setFont(boldTextFont());
    painter.setPen(Ink);
    painter.drawText(row, Qt::AlignLeft | Qt::AlignVCenter,
        painter.fontMetrics().elidedText(runs::presetCaption(preset), Qt::ElideRight, captionWidth));
}

// A round mark in the verdict's colour, then the verdict in words.
void paintVerdict(QPainter& painter, const QRect& row, const VerdictColours& colours, const QString& verdict)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colours.mark);
    painter.drawEllipse(QRectF(row.left(), row.center().y() - MarkDiameter / 2.0 + 0.5, MarkDiameter, MarkDiameter));
    const QRect words = row.adjusted(MarkDiameter + Margin, 0, 0, 0);
    painter.setFont(boldTextFont());
    painter.setPen(colours.text);
    painter.drawText(words, Qt::AlignLeft | Qt::AlignVCenter,
        painter.fontMetrics().elidedText(verdict, Qt::ElideRight, words.width()));
}

} // namespace

RunStrip::RunStrip(QWidget* parent)
    : QWidget(parent)
    , verdict_(QStringLiteral("no target"))
{
    setFont(textFont());
    setAccessibleName(QStringLiteral("Run strip"));
    setAccessibleDescription(verdict_);
    // The whole strip is painted on every change; nothing shows through it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    stretch_.reserve(TracePoints);
}

void RunStrip::setBand(double kmh)
{
    band_ = std::isfinite(kmh) && kmh > 0 ? kmh : 0;
    update();
}

void RunStrip::setHoldSeconds(int seconds)
{
    holdSeconds_ = seconds;
    update();
}

void RunStrip::startRun(const runs::RunPreset& preset)
{
    preset_ = preset;
    trace_.clear();
    update();
}

void RunStrip::clearRun()
{
    preset_.reset();
    trace_.clear();
    showVerdict(State::NoTarget, QStringLiteral("no target"), 0);
}

void RunStrip::addPoint(std::optional<double> speedKmh)
{
    // A speed that is not a number cannot be drawn: it counts as no speed.
    if (speedKmh && !std::isfinite(*speedKmh))
        speedKmh.reset();
    trace_.push_back(speedKmh);
    while (trace_.size() > static_cast<std::size_t>(TracePoints))
        trace_.pop_front();
    update();
}

void RunStrip::showVerdict(State state, const QString& text, int heldSeconds)
{
    state_ = state;
    verdict_ = text;
    heldSeconds_ = heldSeconds;
    setAccessibleDescription(text);
    update();
}

// "held 12 s of 30 s" on the way to the hold; once it is reached, just how long ("held 42 s").
QString RunStrip::heldText() const
{
    if (heldSeconds_ >= holdSeconds_)
        return QStringLiteral("held %1 s").arg(heldSeconds_);
    return QStringLiteral("held %1 s of %2 s").arg(heldSeconds_).arg(holdSeconds_);
}

void RunStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Background);
    const VerdictColours colours = coloursOf(state_);
    if (preset_)
        paintHeader(painter, QRect(Margin, 1, width() - 2 * Margin, RowHeight), *preset_, heldText());

    const QRectF area(QPointF(Margin + ScaleColumn, ChartTop), QPointF(width() - Margin, height() - ChartBottomGap));
    const ChartScale scale
        = preset_ ? scaleAround(area, preset_->targetKmh, band_, trace_) : scaleOfSpeeds(area, trace_);
    paintGrid(painter, scale, preset_ ? std::optional(preset_->targetKmh) : std::nullopt);
    painter.save();
    painter.setClipRect(area);
    if (preset_)
        paintBand(painter, scale, preset_->targetKmh, band_, colours.band);
    painter.setRenderHint(QPainter::Antialiasing);
    paintTrace(painter, scale, trace_, stretch_);
    painter.restore();
    painter.setPen(ChartFrame);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area);

    paintVerdict(painter, QRect(Margin, height() - RowHeight - 2, width() - 2 * Margin, RowHeight), colours, verdict_);
}

} // namespace caltrix::widgets
