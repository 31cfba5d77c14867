#pragma once

#include "ant/AntConstants.h"
#include "ant/AntLog.h"
#include "ant/AntPackets.h"
#include "antlib/AntLibrary.h"
#include "devicebase/Format.h"
#include "platform/PeriodicTimer.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <vector>

namespace caltrix::ant {

using AntKey = std::array<std::uint8_t, 8>;
using AntPayload = std::array<std::uint8_t, 8>;
// Byte 0 the channel, bytes 1-8 the payload of the last packet (or the event message).
using AntReceiveBuffer = std::array<std::uint8_t, 9>;

// One radio channel as the caller described it, plus its buffers. A new record is all zero.
struct lumo_Channel {
    std::uint8_t NetworkNumber = 0;
    bool Connected = false;         // delivering data; set by the receive path, cleared by a close
    std::uint16_t Period = 0;       // 1/32768 s
    std::uint8_t DeviceType = 0;
    std::uint8_t TransmissionType = 0;
    std::uint8_t ChannelType = 0;
    std::uint8_t RfFrequency = 0;   // MHz above 2400
    std::uint32_t DeviceNumber = 0; // 0 pairs with any device; replaced by the number learnt
    AntKey NetworkKey {};
    AntPayload TxData {};           // payload last built for this channel
    AntReceiveBuffer RxBuffer {};   // registered with the library while the channel is set up
};

// A notification with the channel (or command code) it concerns.
using TChannelNotify = std::function<void(std::uint8_t)>;

// Makes the ANT library a new link talks through (a test hands in the virtual stick this way).
using AntLibraryFactory = std::function<std::unique_ptr<antlib::AntLibrary>()>;

class lumo_ANT;

// A new link for the running program: the library from `makeLibrary` (the sticks named by
// CALTRIX_ANT when none is given) and, as its start targets, the trace files named by CALTRIX_LOG
// and CALTRIX_RAW_LOG, which the link then owns. A target assigned later replaces them.
// Throws platform::Error when the factory gives no library.
std::unique_ptr<lumo_ANT> CreateAntLink(const AntLibraryFactory& makeLibrary = {});

// The ANT link: the stick, up to four channels (0 heart rate, 1 trainer, 2 speed-and-cadence
// sensor, 3 console), the values decoded from them, the commands waiting for the trainer and the
// two debug logs. One instance at a time lives in `AntLink`; the library callbacks find it there.
//
// Threads: main thread only. The library delivers both callbacks on the main thread while messages
// are processed (inside the pumped waits of StartChannels and CloseAll too), so the fields below
// are never touched by two threads at once and need no lock.
//
// Re-entrancy: the notifications (OnHeartLost, OnTrainerLost, OnConsoleCommand) run inside a
// callback; they must not free the link.
class lumo_ANT {
public:
    // Talks through `library`, which must outlive the link.
    explicit lumo_ANT(antlib::AntLibrary& library);
    // Talks through `library` and owns it.
    explicit lumo_ANT(std::unique_ptr<antlib::AntLibrary> library);
    ~lumo_ANT();
    lumo_ANT(const lumo_ANT&) = delete;
    lumo_ANT& operator=(const lumo_ANT&) = delete;

    // ---- fields, with their values after construction -----------------------------------------
    bool TxEnabled = true; // replies on the trainer channel and the transmit-slot commands
    std::int32_t CadencePrevTime = -1, CadenceTime = 0; // crank event times, 1/1024 s
    std::int32_t SpeedPrevTime = 0, SpeedTime = 0;      // wheel event times, 1/1024 s
    std::int32_t TrainerDistance = 0;                   // trainer page 7
    std::int32_t CadenceRevs = 0, WheelRevs = 0, CadencePrevRevs = 0, WheelPrevRevs = 0;
    std::int32_t CadenceStaleCount = 0; // packets without a new crank event
    bool Page17Seen = false;
    std::uint16_t Page17Value = 0;
    bool TrainerEpromReceived = false, TrainerEpromWritePending = false, TrainerEpromWriteAcked = false;
    std::array<std::uint16_t, 6> TrainerEpromWriteData {};
    bool ConsoleEpromReceived = false;
    std::array<std::int32_t, 101> SearchRetries {}; // reopens after search timeouts, by channel
    bool Silenced = false; // callbacks do nothing and CloseAll writes no lines
    // Set when the program ends on a logout or Ctrl+C: CloseAll's waits after closing a channel and
    // after the reset end as soon as the stick confirms (the channel's closed event, its startup
    // message), each still at most the usual second, so that the end fits the time a session
    // leaves a program. The same commands go out in the same order and the same lines are written.
    bool ClosePromptly = false;
    platform::PeriodicTimer KeepAliveTimer; // disabled, 15000 ms, runs KeepAliveTimerTick
    std::array<std::uint16_t, 6> TrainerEprom {}, ConsoleEprom {};
    std::uint32_t ReceiverMode = ModeTrainerNetwork; // ModeTrainerNetwork, ModeSpeedSensor, ...
    std::uint8_t ResistanceLevel = 0;
    bool ResistancePending = false, Command4Pending = false, DistanceRequestPending = false, Command8Pending = false;
    std::uint32_t Command8Value = 0; // 24 bits
    std::array<std::uint8_t, antlib::ResponseBufferSize> ResponseBuffer {};
    std::uint16_t BaudRate = 0;
    // Indexed by channel number; a slot the caller never described is null. Use ChannelRecord.
    std::vector<std::unique_ptr<lumo_Channel>> Channels;
    LogTarget* LogMemo = nullptr; // commands, answers, decoded traffic
    LogTarget* RawMemo = nullptr; // raw receive and transmit lines
    float RxFailRun = 0;          // receive failures since the last good packet
    std::int32_t RxFailTotal = 0;
    std::int32_t TransferSeen = 0; // 1 after a transfer event, 0 after a go-to-search event
    std::int32_t RxCount = 0;      // received packets plus transfer events
    bool ReopenPending = false;
    std::int64_t TxCount = 0;      // transmitted packets
    std::uint8_t SetupChannel = 0; // channel whose network key was sent last
    std::int32_t DistanceBase = -1;
    bool UseHeartChannel = true, UseConsoleChannel = true;
    std::int32_t HeartRate = 0; // bpm
    float Speed = 0;            // km/h
    std::uint32_t Cadence = 0;  // rpm
    std::int32_t Distance = -1; // compact trainer protocol
    bool OutOfRange = false;
    std::uint16_t CompactValue = 0;
    long double WheelDiameter = 0;
    std::uint8_t EventsPerTurn = 2; // never 0
    bool HeartEventSeen = false;
    TChannelNotify OnHeartLost, OnTrainerLost;
    bool TrainerLost = false;
    std::array<bool, 4> ConsoleKeys {};
    bool ConsoleAck8 = false, ConsoleAck9 = false;
    bool ConsoleSwitchPending = false, ConsoleSwitchValue = false;
    bool ConsoleAck10 = false;
    bool LogEvents = true, LogTraffic = true, LogFilterOn = false;
    std::uint32_t LogFilterChannel = 0;
    TChannelNotify OnConsoleCommand;
    // Offered, before the link handles it, every answer about a channel the link has no record of
    // and every answer that names no channel (capabilities, startup, ...): a trainer search on a
    // spare channel of the same stick takes its own and returns true; the link handles the rest
    // as before.
    std::function<bool(std::uint8_t Channel, std::uint8_t MessageId, std::span<const std::uint8_t> Buffer)>
        OnOtherResponse;

    // ---- operations ----------------------------------------------------------------------------

    // The record of channel `ch`, or null when the caller never described it.
    lumo_Channel* ChannelRecord(std::uint32_t ch);
    const lumo_Channel* ChannelRecord(std::uint32_t ch) const;

    // Opens stick `UsbNumber` (0..7), registers the response callback, resets the stick and waits
    // 600 ms processing messages. False (and one log line) when there is no stick at that number. May be called again.
    bool OpenStick(std::uint8_t UsbNumber);
    // The library the link talks through, for a search on a spare channel of its stick: it
    // registers that channel's event callback itself.
    antlib::AntLibrary& Library() { return library_; }
    // Why the last stick that could not be opened failed (the library's line), or empty.
    QString StickError() const { return QString::fromStdString(library_.lastError()); }

    // Describes channel `Channel`: grows Channels as needed and puts a new record there. A record
    // replaced after its setup started hands its registration with the library to the new one.
    void SetChannelParameters(std::uint8_t Channel, std::uint8_t NetworkNumber, std::uint16_t Period,
                              std::uint8_t DeviceType, std::uint8_t TransmissionType, std::uint8_t ChannelType,
                              std::uint8_t RfFrequency, std::uint32_t DeviceNumber, const AntKey& NetworkKey);

    // Registers the channel's event callback and sends its network key; every further step of the
    // configuration follows from the stick's answers in HandleResponse. Ignored (one log line) for
    // a channel that was not described.
    void StartChannelSetup(std::uint8_t Channel);

    // Starts channels 1, 2 (mode 0), 3 (mode 0 and UseConsoleChannel) and 0 (UseHeartChannel) one
    // after the other, waiting up to 10 s (processing messages) for each to connect; then enables
    // the transmission and sets up the keep-alive timer. A CloseAll run by a handler inside one of
    // the waits ends it there: nothing more is sent to the closed stick.
    void StartChannels();

    // EnableTx, then ResistanceLevel := Level and ResistancePending := true.
    void QueueResistance(std::uint8_t Level);
    void EnableTx();

    // Stops the keep-alive timer, closes and unassigns every connected channel (1 s pumped wait
    // each), resets and closes the stick. Writes no line while Silenced. Never throws.
    void CloseAll();

    // The configuration chain and the channel-ID and capabilities answers.
    void HandleResponse(std::uint8_t Channel, std::uint8_t MessageId);
    // Channel events and received packets.
    void HandleChannelEvent(std::uint8_t Channel, std::uint8_t Event);

    // The library callbacks: when AntLink exists and is not Silenced, run its handler; exceptions
    // stop here. Return 0.
    static std::uint8_t ResponseCallback(std::uint8_t Channel, std::uint8_t MessageId);
    static std::uint8_t ChannelEvent0(std::uint8_t Channel, std::uint8_t Event);

    // Decodes a compact trainer packet (receive buffer: channel byte, then the payload) into
    // Speed, Cadence, Distance and OutOfRange.
    void DecodeCompactPacket(const AntReceiveBuffer& buffer);
    static bool IsBitSet(std::uint8_t value, std::uint8_t bit);

    // Every 15 s while the keep-alive timer runs: prepares the console keep-alive packet.
    void KeepAliveTimerTick();

    // Appends `Text` to `Memo` when it is assigned.
    static void AppendLog(LogTarget* Memo, const QString& Text);

private:
    friend std::unique_ptr<lumo_ANT> CreateAntLink(const AntLibraryFactory& makeLibrary);

    antlib::ChannelEventCallback channelCallback();
    void registerChannel(std::uint8_t ch, lumo_Channel& record);
    void log(const QString& text) { AppendLog(LogMemo, text); }
    // Appends Format(pattern, args) to LogMemo; composes nothing while it is unassigned.
    void log(const char* pattern, std::initializer_list<devicebase::FormatArg> args = {});
    bool trafficLogPasses(std::uint8_t ch) const;
    bool eventLogPasses(std::uint8_t ch) const;

    // The configuration chain (setup and closing), the receive path (events) and the packets.
    struct ChainStep;
    static const ChainStep* chainStepAnswering(std::uint8_t answered);
    void handleCommandAnswer(std::uint8_t ch, lumo_Channel* rec);
    void runChainStep(const ChainStep& step, std::uint8_t ch, lumo_Channel* rec);
    void handleChannelIdAnswer(std::uint8_t ch);
    void handleCapabilities();
    void searchTimedOut(std::uint8_t ch, lumo_Channel* rec);
    void transferEnded(std::uint8_t ch, const lumo_Channel& rec, bool completed);
    void packetReceived(std::uint8_t ch, lumo_Channel& rec);
    void packetStep(std::uint8_t ch, lumo_Channel& rec);
    void replyStep(std::uint8_t ch, lumo_Channel& rec);
    void commandStep(std::uint8_t ch, lumo_Channel& rec);
    void updateCadence(const SensorPacket& packet);
    void updateSpeed(const SensorPacket& packet);
    void consolePacket(lumo_Channel& console);
    void consoleReplies(lumo_Channel& console);
    void trainerPacket(std::uint8_t ch, lumo_Channel& trainer);
    void nativeTrainerPage(std::uint8_t ch, PayloadBytes payload);
    void sendCounted(std::uint8_t ch, const lumo_Channel& rec, bool acknowledged, const char* tail = "");

    std::unique_ptr<antlib::AntLibrary> ownedLibrary_;
    antlib::AntLibrary& library_;
    std::vector<bool> registered_; // channel numbers whose event callback points at a record of ours
    bool responseRegistered_ = false;
    bool stickClosed_ = false; // by CloseAll, until the next OpenStick
    std::vector<bool> closeConfirmed_; // channel numbers whose closed event came since CloseAll closed them
    bool startupSeen_ = false;         // the stick's startup message came since CloseAll reset it
    void waitAfterClosing(const std::function<bool()>& confirmed);
    EnvironmentLogs ownedLogs_; // trace files from the environment, when named
};

// The link of the process: filled by the device component before connecting, cleared when it frees
// the link. Main thread only. `reset()` clears the variable before the link is destroyed, so a
// callback arriving meanwhile finds no link.
extern std::unique_ptr<lumo_ANT> AntLink;

} // namespace caltrix::ant
