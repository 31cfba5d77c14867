#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace caltrix::platform {

// Turns SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C, a closed terminal) into a call on the main
// thread, so that the program can end as it ends by itself instead of being cut off. The signal
// handler only writes the signal's number into a pipe; a socket notifier reads it in the event
// loop, also inside the program's waits that process events. `onSignal` gets the number.
//
// One object at a time; while it lives, those three signals no longer end the process by
// themselves. The handlers the process had before come back when it goes. Main thread only.
class TerminationSignals final : public QObject {
public:
    explicit TerminationSignals(std::function<void(int signal)> onSignal);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the pipe or a handler could not be set up; the signals then act as before.
    bool watching() const { return notifier_ != nullptr; }

private:
    void readSignals();
    void restoreHandlers();

    std::function<void(int)> onSignal_;
    int readEnd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace caltrix::platform
