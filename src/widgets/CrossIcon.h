#pragma once

#include <QIcon>

namespace caltrix::widgets {

// A red cross on a transparent background, drawn at whatever size and pixel ratio a button asks
// for, for cancel buttons (16 x 16 on the button). The disabled form is grey.
QIcon crossIcon();

} // namespace caltrix::widgets
