#pragma once

#include "platform/Desktop.h"
#include "platform/GuardedCall.h"
#include "platform/Platform.h"

#include <QString>

#include <utility>

namespace caltrix::app {

// Runs one handler of the window as the program's event dispatch does: an error it does not catch
// ends it and is shown in the unhandled-error box, and the program goes on.
template <typename Handler>
void dispatch(Handler&& handler)
{
    platform::guardedCall(platform::Escaped::Shown, "handling an event of the window", std::forward<Handler>(handler));
}

// A modal message with an OK button, captioned with the application's title.
inline void showMessage(const QString& text) { platform::desktop().showMessageBox({ text, platform::ApplicationTitle }); }

} // namespace caltrix::app
