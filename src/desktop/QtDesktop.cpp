#include "desktop/QtDesktop.h"

#include "desktop/ScreenSaverInhibitor.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

namespace caltrix::desktop {

namespace {

QMessageBox::Icon qtIcon(platform::BoxIcon icon)
{
    switch (icon) {
    case platform::BoxIcon::Information:
        return QMessageBox::Information;
    case platform::BoxIcon::Warning:
        return QMessageBox::Warning;
    case platform::BoxIcon::Error:
        return QMessageBox::Critical;
    case platform::BoxIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

namespace {
int execBox(const platform::MessageBox& box, QMessageBox::StandardButtons buttons)
{
    QMessageBox dialog;
    dialog.setText(box.text);
    dialog.setWindowTitle(box.caption);
    dialog.setIcon(qtIcon(box.icon));
    dialog.setStandardButtons(buttons);
    if (box.systemModal) {
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    }
    return dialog.exec();
}
} // namespace

QtDesktop::QtDesktop() = default;

QtDesktop::~QtDesktop() = default;

void QtDesktop::showMessageBox(const platform::MessageBox& box) { execBox(box, QMessageBox::Ok); }

bool QtDesktop::askToRetry(const platform::MessageBox& box)
{
    return execBox(box, QMessageBox::Retry | QMessageBox::Cancel) == QMessageBox::Retry;
}

void QtDesktop::beep() { QApplication::beep(); }

bool QtDesktop::openFolder(const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

void QtDesktop::keepScreenAwake(const QString& reason)
{
    if (!screenSaver_)
        screenSaver_ = std::make_unique<ScreenSaverInhibitor>(platform::ApplicationTitle);
    screenSaver_->hold(reason);
}

void QtDesktop::letScreenSleep()
{
    if (screenSaver_)
        screenSaver_->release();
}

} // namespace caltrix::desktop
