#include "desktop/PictureImage.h"
#include "desktop/QtDesktop.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

using namespace caltrix;

TEST(QtDesktop, ShowsTheBoxUntilItIsClosed)
{
    QString shownText;
    QString shownTitle;
    QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
    // The box is modal: inspect and close it from the event loop it runs.
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shownText = box->text();
        shownTitle = box->windowTitle();
        shownIcon = box->icon();
        box->accept();
    });
    desktop::QtDesktop().showMessageBox({ QStringLiteral("No stick."), QStringLiteral("Caltrix"),
        platform::BoxIcon::Error, false });
    EXPECT_EQ(shownText, QStringLiteral("No stick."));
    EXPECT_EQ(shownTitle, QStringLiteral("Caltrix"));
    EXPECT_EQ(shownIcon, QMessageBox::Critical);
}

TEST(PictureImage, StoresAndShowsTheSameImage)
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    platform::TPicture picture;
    desktop::setPictureImage(picture, image);
    EXPECT_TRUE(picture.Data().startsWith("\x89PNG"));
    EXPECT_EQ(desktop::pictureImage(picture).convertToFormat(QImage::Format_RGB32), image);

    desktop::setPictureImage(picture, QImage());
    EXPECT_TRUE(picture.Empty());
    EXPECT_TRUE(desktop::pictureImage(picture).isNull());
}
