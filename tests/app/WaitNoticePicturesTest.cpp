// The wait notice as a person sees it, compared with reference pictures.
#include "PictureCompare.h"
#include "app/WaitDlg.h"
#include "app/WaitUnit.h"

#include <QPixmap>

#include <gtest/gtest.h>

using namespace caltrix::app;
using caltrix::test::matchesReferencePicture;

namespace {
// Text is drawn: font rasterisers differ slightly between versions, so allow some pixels of
// anti-aliasing to move.
constexpr caltrix::test::PictureTolerance WithText { 40, 60 };

const QString Connecting = QStringLiteral("Wait Connection....");

QImage noticePicture(const QString& text, bool cancel, bool picture, std::uint8_t scheme)
{
    ShowWaitNotice(text, cancel, picture, scheme);
    const QImage image = WaitNotice()->grab().toImage();
    HideWaitNotice();
    return image;
}
} // namespace

TEST(WaitNoticePictures, EachSchemeWithPictureAndCancelButton)
{
    for (std::uint8_t scheme = 1; scheme <= 6; ++scheme) {
        SCOPED_TRACE(int(scheme));
        EXPECT_TRUE(matchesReferencePicture(noticePicture(Connecting, true, true, scheme),
            QStringLiteral("notice_scheme%1").arg(scheme), WithText));
    }
}

// As the calibration window puts it up while connecting.
TEST(WaitNoticePictures, DesertWithPicture)
{
    EXPECT_TRUE(
        matchesReferencePicture(noticePicture(Connecting, false, true, 1), QStringLiteral("notice_desert_picture"), WithText));
}

TEST(WaitNoticePictures, DesignedLookWithTextOnly)
{
    EXPECT_TRUE(matchesReferencePicture(noticePicture(QStringLiteral("Progression:"), false, false, 0),
        QStringLiteral("notice_plain"), WithText));
}

TEST(WaitNoticePictures, LongTextCutAtTheLabelsHeight)
{
    const QString text = QStringLiteral("Wait Connection.... the trainer has not answered yet; keep pedalling gently so "
                                        "that it wakes up, and check that the stick is plugged in.");
    EXPECT_TRUE(matchesReferencePicture(noticePicture(text, true, true, 4), QStringLiteral("notice_long_text"), WithText));
}
