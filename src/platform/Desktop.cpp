#include "platform/Desktop.h"

#include "platform/Platform.h"

#include <cstdio>

namespace caltrix::platform {

void ConsoleDesktop::showMessageBox(const MessageBox& box)
{
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(box.caption), qUtf8Printable(box.text));
}

void ConsoleDesktop::beep()
{
    std::fputc('\a', stderr);
    std::fflush(stderr);
}

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
