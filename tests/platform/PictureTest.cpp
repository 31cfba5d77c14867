#include "platform/Error.h"
#include "platform/Picture.h"

#include <gtest/gtest.h>

using namespace caltrix::platform;

namespace {

QByteArray pngHeader(char width, char height)
{
    QByteArray bytes("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    bytes += QByteArray("\0\0\0", 3) + width + QByteArray("\0\0\0", 3) + height;
    return bytes + QByteArray("\x08\x02\0\0\0", 5);
}

} // namespace

TEST(Picture, KeepsTheBytesOfAnImageFileAndRefusesOthersUnchanged)
{
    const QByteArray images[] = { pngHeader(3, 2), QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF", 10),
        QByteArray("GIF89a\x01\0\x01\0", 10) };
    for (const QByteArray& bytes : images) {
        TPicture picture;
        picture.SetData(bytes);
        EXPECT_EQ(picture.Data(), bytes);

        TPicture copy;
        copy.Assign(&picture);
        EXPECT_EQ(copy.Data(), bytes);
    }

    const QByteArray notImages[] = { "not a picture", pngHeader(0, 2), pngHeader(3, 2).left(20),
        QByteArray("\x89PNG\r\n\x1a\n", 8) };
    for (const QByteArray& bytes : notImages) {
        TPicture picture;
        picture.SetData(pngHeader(1, 1));
        EXPECT_THROW(picture.SetData(bytes), Error) << bytes.toHex().constData();
        EXPECT_EQ(picture.Data(), pngHeader(1, 1));
    }

    TPicture picture;
    picture.SetData(pngHeader(1, 1));
    picture.SetData({});
    EXPECT_TRUE(picture.Empty());
}
