// Each display widget on its own, compared with its reference picture, and the properties that
// show only in its pixels.
#include "PictureCompare.h"
#include "widgets/ArrowMarker.h"
#include "widgets/BusyPicture.h"
#include "widgets/CrossIcon.h"
#include "widgets/GradientPanel.h"
#include "widgets/ProgressBar.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace caltrix::widgets;
using caltrix::test::matchesReferencePicture;
using caltrix::test::PictureTolerance;

namespace {
// Shapes only, no text: the same drawing code gives the same pixels up to anti-aliasing rounding.
constexpr PictureTolerance Shapes { 2, 0 };

QImage grabOf(QWidget& widget) { return widget.grab().toImage(); }

// Pictures side by side on a neutral background, for one reference of a whole set.
QImage row(const QList<QImage>& pictures, int gap = 4)
{
    int width = gap, height = 0;
    for (const QImage& p : pictures) {
        width += p.width() + gap;
        height = std::max(height, p.height());
    }
    QImage sheet(width, height + 2 * gap, QImage::Format_ARGB32);
    sheet.fill(QColor(0xB0, 0xB0, 0xB0));
    QPainter painter(&sheet);
    int x = gap;
    for (const QImage& p : pictures) {
        painter.drawImage(x, gap, p);
        x += p.width() + gap;
    }
    return sheet;
}
} // namespace

TEST(ArrowMarker, PointsUpInItsColourOnTransparency)
{
    ArrowMarker marker;
    marker.resize(33, 41);
    marker.setColor(Qt::red);
    const QImage picture = grabOf(marker);
    EXPECT_EQ(picture.pixelColor(16, 2), QColor(Qt::red)) << "the tip, at the top";
    EXPECT_EQ(picture.pixelColor(16, 39), QColor(Qt::red)) << "the shaft's foot";
    EXPECT_EQ(picture.pixelColor(2, 39).alpha(), 0) << "beside the shaft";
    EXPECT_EQ(picture.pixelColor(2, 2).alpha(), 0) << "beside the tip";
}

TEST(ArrowMarker, KeepsItsColourWhenDisabled)
{
    ArrowMarker marker;
    marker.resize(33, 41);
    marker.setColor(Qt::red);
    const QImage enabled = grabOf(marker);
    marker.setEnabled(false);
    EXPECT_EQ(grabOf(marker), enabled);
}

TEST(WidgetPictures, ArrowMarker)
{
    ArrowMarker red;
    red.resize(33, 41);
    red.setColor(Qt::red);
    ArrowMarker wide;
    wide.resize(60, 30);
    wide.setColor(QColor(0x0059B3));
    EXPECT_TRUE(matchesReferencePicture(row({ grabOf(red), grabOf(wide) }), "arrow_marker", Shapes));
}

TEST(WidgetPictures, GradientPanelInEachScheme)
{
    QList<QImage> panels;
    for (std::uint8_t scheme = 1; scheme <= 6; ++scheme) {
        GradientPanel panel;
        panel.resize(120, 77);
        panel.setColorScheme(scheme);
        panels.append(grabOf(panel));
    }
    EXPECT_TRUE(matchesReferencePicture(row(panels), "gradient_panel_schemes", Shapes));
}

TEST(WidgetPictures, BusyPicture)
{
    EXPECT_TRUE(matchesReferencePicture(BusyPicture::strip(), "busy_picture_strip", Shapes));
    BusyPicture picture;
    picture.setBackgroundColor(QColor(0xFFF4DD));
    picture.setFrame(1);
    EXPECT_TRUE(matchesReferencePicture(grabOf(picture), "busy_picture_frame1", Shapes));
}

TEST(WidgetPictures, ProgressBarWithItsBorder)
{
    ProgressBar bar;
    bar.resize(259, 17);
    bar.setRange(0, 100);
    bar.setValue(40);
    EXPECT_EQ(bar.borderColor(), bar.palette().color(QPalette::Dark));
    EXPECT_TRUE(matchesReferencePicture(grabOf(bar), "progress_bar", Shapes));
}

TEST(WidgetPictures, CrossIcon)
{
    const QIcon icon = crossIcon();
    EXPECT_TRUE(matchesReferencePicture(row({ icon.pixmap(16, 16).toImage(), icon.pixmap(32, 32).toImage(),
                                            icon.pixmap(QSize(16, 16), QIcon::Disabled).toImage() }),
        "cross_icon", Shapes));
}
