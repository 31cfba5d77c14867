#include "PictureCompare.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using caltrix::test::matchesReferencePicture;
using caltrix::test::PictureFolders;

namespace {
class PictureCompare : public ::testing::Test {
protected:
    void SetUp() override
    {
        qunsetenv("CALTRIX_UPDATE_PICTURES"); // this binary checks comparisons, it renews no reference
        ASSERT_TRUE(dir_.isValid());
        folders_ = { dir_.filePath("references"), dir_.filePath("results") };
        QDir().mkpath(folders_.references);
        reference_.fill(Qt::white);
        reference_.save(folders_.references + "/square.png");
    }
    bool resultWritten(const char* suffix) const { return QFileInfo::exists(folders_.results + "/square" + suffix); }

    QTemporaryDir dir_;
    PictureFolders folders_;
    QImage reference_ { 10, 10, QImage::Format_ARGB32 };
};
} // namespace

TEST_F(PictureCompare, PassesWithinTheToleranceAndFailsBeyondIt)
{
    QImage actual = reference_;
    actual.setPixel(1, 1, qRgb(250, 255, 255)); // a small difference in one pixel
    actual.setPixel(2, 2, qRgb(0, 0, 0));       // a large one in another
    EXPECT_TRUE(matchesReferencePicture(reference_, "square", folders_));
    EXPECT_TRUE(matchesReferencePicture(actual, "square", folders_, { 5, 1 }));
    EXPECT_FALSE(matchesReferencePicture(actual, "square", folders_, { 5, 0 }));
    EXPECT_FALSE(matchesReferencePicture(actual, "square", folders_, { 4, 1 }));
    EXPECT_TRUE(resultWritten(".actual.png"));
    EXPECT_TRUE(resultWritten(".diff.png"));
}

TEST_F(PictureCompare, FailsOnAnotherSizeOrAMissingReference)
{
    EXPECT_FALSE(matchesReferencePicture(QImage(10, 11, QImage::Format_ARGB32), "square", folders_, { 255, 1000 }));
    EXPECT_FALSE(matchesReferencePicture(reference_, "missing", folders_));
    EXPECT_TRUE(QFileInfo::exists(folders_.results + "/missing.actual.png"));
}

TEST_F(PictureCompare, ScaledPictureComparesWithItsOwnReference)
{
    QImage scaled = reference_;
    scaled.setDevicePixelRatio(2);
    EXPECT_FALSE(matchesReferencePicture(scaled, "square", folders_));
    EXPECT_TRUE(QFileInfo::exists(folders_.results + "/square@2x.actual.png"));
}

TEST_F(PictureCompare, UpdateModeWritesTheReference)
{
    qputenv("CALTRIX_UPDATE_PICTURES", "1");
    QImage changed = reference_;
    changed.fill(Qt::black);
    const bool updated = matchesReferencePicture(changed, "square", folders_);
    qunsetenv("CALTRIX_UPDATE_PICTURES");
    EXPECT_TRUE(updated);
    EXPECT_TRUE(matchesReferencePicture(changed, "square", folders_));
}
