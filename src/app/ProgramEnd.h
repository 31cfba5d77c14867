#pragma once

namespace caltrix::app {

// Ends the program on a termination signal (SIGTERM, SIGINT, SIGHUP) as Close ends it: the menus,
// boxes and dialogs open over the window are cancelled as Escape cancels them, and the calibration
// window closes itself (TForm1::CloseOnRequest). Without a window (caltrix --settings) cancelling
// the dialog ends the program. Main thread only; also inside the program's waits.
void EndOnSignal();

// Cancels the open menus and every modal box or dialog, the innermost first, as Escape would:
// nothing that a dialog would write on OK is written.
void CancelModalWindows();

} // namespace caltrix::app
