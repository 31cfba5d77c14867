// Decoding the logo with libjpeg-turbo, and what a damaged picture does: nothing worse than an
// empty logo box.
#include "app/JpegPicture.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace caltrix::app;

namespace {

QByteArray logoBytes()
{
    QFile file(QStringLiteral(":/caltrix/logo.jpg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(JpegPicture, TheLogoIsOurRedBandPicture)
{
    const QImage logo = LoadLogo();
    ASSERT_FALSE(logo.isNull());
    EXPECT_EQ(logo.size(), QSize(100, 20));
    const QColor corner = logo.pixelColor(1, 18);
    EXPECT_GT(corner.red(), 230);
    EXPECT_LT(corner.green(), 40);
    EXPECT_LT(corner.blue(), 40);
}

TEST(JpegPicture, DamagedPicturesGiveNoImageAndOneLineWhy)
{
    const QByteArray logo = logoBytes();
    ASSERT_FALSE(logo.isEmpty());
    QByteArray huge = logo;
    const auto frame = huge.indexOf(QByteArray::fromHex("FFC0"));
    ASSERT_GT(frame, 0);
    huge[frame + 5] = '\x7F'; // height 0x7F14
    struct Case {
        QByteArray bytes;
        const char* says;
    };
    const Case cases[] = {
        { {}, "there are no picture bytes" },
        { QByteArrayLiteral("not a picture at all"), "Not a JPEG file" },
        { logo.left(logo.size() / 2), "Premature end of JPEG file" },
        { huge, "more than 4096" },
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_TRUE(DecodeJpeg(c.bytes, error).isNull()) << c.says;
        EXPECT_TRUE(error.contains(QLatin1String(c.says))) << error.toStdString();
        EXPECT_FALSE(error.contains('\n'));
    }
}

TEST(JpegPicture, EveryTruncatedLogoFailsCleanly)
{
    const QByteArray logo = logoBytes();
    for (qsizetype n = 0; n < logo.size(); ++n) {
        QString error;
        EXPECT_TRUE(DecodeJpeg(QByteArrayView(logo).first(n), error).isNull()) << n;
        EXPECT_FALSE(error.isEmpty()) << n;
    }
    QString error;
    EXPECT_FALSE(DecodeJpeg(logo, error).isNull());
}
