#include "app/ProgramEnd.h"

#include "app/Unit1.h"

#include <QApplication>
#include <QDialog>

namespace caltrix::app {

void CancelModalWindows()
{
    while (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
        if (popup->isVisible())
            break;
    }
    // Each cancelled window leaves the stack of modal windows; one that refuses to go stops the
    // round instead of being asked forever.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (modal->isVisible())
            break;
    }
}

void EndOnSignal()
{
    CancelModalWindows();
    // Found before it closes: closing processes events, which may free other windows of the list.
    TForm1* form = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* found = dynamic_cast<TForm1*>(window))
            form = found;
    if (form)
        form->CloseOnRequest();
}

} // namespace caltrix::app
