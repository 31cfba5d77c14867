#pragma once

#include "ant/TrainerSearch.h"
#include "platform/Component.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace caltrix::device {

// The search for trainers in range ("find my trainer"), see ant/TrainerSearch.h: its callbacks,
// what it reports and why it ends (searchEndText gives the sentence to show).
using ant::FoundTrainer;
using ant::SearchCallbacks;
using ant::SearchEnd;
using ant::searchEndText;
using ant::TrainerSearch;

// What the calibration window asks of the trainer device: connect to the trainer, start the ride,
// send resistance levels, read the live speed, disconnect. The trainer device component
// implements it; the window is written against this face only, so it can be tested with a stand-in.
//
// Order of use: SetEnableConsole and SetHeartEnabled; ConnectANT; inside the OnConnected handler
// SetRollDiameter, SeteventPerTurn and Start; then any number of SetTavorResistance calls and
// GetSpeed reads; finally Disconnect while Connected() is true. Destroying the device disconnects
// it as well.
//
// Main thread only. Both events are raised on the main thread with the device as Sender.
class ITavorDevice {
public:
    virtual ~ITavorDevice() = default;

    // Opens the USB ANT stick and the radio channels and waits for the trainer; true when the
    // trainer answered. Blocks while it waits (up to 10 s for each channel it starts, then up to
    // 40 s for the trainer), handling window messages meanwhile, so the caller's own handlers may
    // run inside the call. On success OnConnected has been raised inside the call before it
    // returns. When no stick is found it shows its own error box first (the text of
    // MsgUsbDongleNotFound) and answers false. A device number of 0 pairs with any device.
    virtual bool ConnectANT(std::int32_t TrainerNumber, std::int32_t HrNumber, std::int32_t KeyboardNumber) = 0;

    // Starts the ride: from then on OnStats is raised once per statistics interval.
    virtual bool Start() = 0;

    // Closes the radio channels and the stick. Safe in any state; blocks for a moment while the
    // stick closes, handling window messages.
    virtual void Disconnect() = 0;

    // Disconnect for a program that ends on a logout or Ctrl+C: the same steps, but each closing wait
    // ends as soon as the stick confirms it.
    virtual void DisconnectPromptly() = 0;

    // The speed in km/h (mph when the device counts in miles) computed by the last statistics
    // tick; 0 before the first tick.
    virtual double GetSpeed() = 0;

    // True from a successful ConnectANT until Disconnect or the loss of the trainer.
    virtual bool Connected() const = 0;

    // After a ConnectANT that found no stick to open: why a stick could not be opened, as the ANT
    // library reported it (one line that says what to do); empty when it knows no reason.
    virtual QString StickError() const = 0;

    // Written before ConnectANT: false leaves the console channel closed.
    virtual void SetEnableConsole(bool Value) = 0;
    // Written before ConnectANT: false leaves the heart-rate channel closed.
    virtual void SetHeartEnabled(bool Value) = 0;

    // The roller diameter the trainer's speed formula uses.
    virtual void SetRollDiameter(long double Value) = 0;
    // Wheel events per roller turn; 0 counts as 1.
    virtual void SeteventPerTurn(std::uint8_t Value) = 0;
    // The resistance level to send to the trainer, 0 to 255 (other values are clamped).
    virtual void SetTavorResistance(std::int32_t Value) = 0;

    // Starts a search for trainers in range, reported through `callbacks`; destroying the search
    // ends it. The trainer device searches on its open stick while connected, otherwise on a stick
    // of its own with its receiver mode; this default searches as SearchTrainersAlone does.
    // Throws platform::Error when CALTRIX_ANT_KEY_A or _B is malformed, as connecting does.
    virtual std::unique_ptr<TrainerSearch> SearchTrainers(SearchCallbacks callbacks);

    // Raised inside ConnectANT when the trainer answered.
    virtual void SetOnConnected(platform::TNotifyEvent Handler) = 0;
    // Raised at the end of every statistics tick after Start.
    virtual void SetOnStats(platform::TNotifyEvent Handler) = 0;
};

// A search with no device connected (the settings dialog alone): on a stick of its own from
// `makeLibrary` (the sticks of CALTRIX_ANT when empty), for the native trainer.
std::unique_ptr<TrainerSearch> SearchTrainersAlone(SearchCallbacks callbacks,
                                                   const ant::AntLibraryFactory& makeLibrary = {});

} // namespace caltrix::device
