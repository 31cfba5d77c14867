#pragma once

#include <QString>

#include <cstdint>

namespace caltrix::app {

class TWaitDlgForm;

// Puts the wait notice up and returns once it has been painted: `Text` on a gradient in colour
// scheme `Scheme` (1..6; any other number keeps the silver look), with the cancel button when
// `CancelVisible` and the busy picture, standing on its second frame, when `PictureVisible`.
// Every visible, enabled top-level window of the program is disabled until HideWaitNotice, and
// the notice is the topmost window. The notice is centred over the program's main window, or on
// the screen when no main window is visible yet. Should a notice already be up, it is taken down
// first. Main thread only.
void ShowWaitNotice(const QString& Text, bool CancelVisible, bool PictureVisible, std::uint8_t Scheme);

// Takes the notice down, if one is up, enables the windows that ShowWaitNotice disabled and gives
// the other topmost windows their topmost state back. Harmless when no notice is up.
void HideWaitNotice();

// The notice that is up, or nullptr.
TWaitDlgForm* WaitNotice();

} // namespace caltrix::app
