#include "platform/Desktop.h"

#include "platform/Platform.h"

#include <QApplication>
#include <QMessageBox>

namespace caltrix::platform {

void QtDesktop::showMessageBox(const MessageBox& box)
{
    QMessageBox dialog;
    dialog.setText(box.text);
    dialog.setWindowTitle(box.caption);
    switch (box.icon) {
    case BoxIcon::None:
        dialog.setIcon(QMessageBox::NoIcon);
        break;
    case BoxIcon::Information:
        dialog.setIcon(QMessageBox::Information);
        break;
    case BoxIcon::Warning:
        dialog.setIcon(QMessageBox::Warning);
        break;
    case BoxIcon::Error:
        dialog.setIcon(QMessageBox::Critical);
        break;
    }
    dialog.setStandardButtons(QMessageBox::Ok);
    if (box.systemModal) {
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    }
    dialog.exec();
}

void QtDesktop::beep() { QApplication::beep(); }

MessageBox unhandledErrorBox(const QString& message)
{
    QString text = message;
    if (!text.endsWith(QLatin1Char('.')))
        text += QLatin1Char('.');
    return MessageBox { text, ApplicationTitle, BoxIcon::Error, false };
}

void showUnhandledError(const std::exception& error)
{
    desktop().showMessageBox(unhandledErrorBox(QString::fromUtf8(error.what())));
}

} // namespace caltrix::platform
