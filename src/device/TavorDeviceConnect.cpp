// Connecting to the trainer: the ANT link and its channel plan, waiting for the trainer, the poll
// timer that watches the channels and the console keys, and disconnecting.
#include "device/TavorDeviceANT.h"

#include "antlib/NetworkKeys.h"
#include "devicebase/Helpers.h"
#include "platform/GuardedCall.h"
#include "platform/Platform.h"

#include <QScopedValueRollback>

#include <algorithm>

namespace caltrix::device {

namespace {

constexpr std::uint32_t PollIntervalMs = 100;
constexpr std::uint32_t TrainerWaitMs = 40000;
constexpr std::int32_t DisconnectSettleMs = 400;

// The channel plan: every channel receives (ANT channel type 0).
constexpr std::uint8_t ReceivingChannel = 0;
using antproto::profile::DeviceProfile;
namespace profile = antproto::profile;

// Each description builds its network key afresh.
void describeChannel(ant::lumo_ANT& l, std::uint8_t channel, const DeviceProfile& kind, std::uint8_t rf,
                     std::uint32_t deviceNumber)
{
    const auto key = kind.network == profile::PublicNetwork ? antlib::networkKeyA() : antlib::networkKeyB();
    l.SetChannelParameters(channel, kind.network, kind.period, kind.deviceType, kind.transmissionType,
                           ReceivingChannel, rf, deviceNumber, key);
}

bool openStick(ant::lumo_ANT& l)
{
    for (std::uint8_t n = 0; n < ant::StickNumbers; ++n)
        if (l.OpenStick(n))
            return true;
    return false;
}

} // namespace

// ---- connecting -------------------------------------------------------------------------------

bool TTavorDeviceANT::ConnectANT(std::int32_t TrainerNumber, std::int32_t HrNumber, std::int32_t KeyboardNumber)
{
    // A ConnectANT started from a handler while another one waits would free the link under it.
    if (FConnecting)
        return false;
    FTrainerConnected = false;
    FStickError.clear();
    freeLink();
    if (!createLink())
        return false;
    ant::lumo_ANT& l = *ant::AntLink;
    l.ReceiverMode = FRecieverType;
    if (DebugMemo)
        l.LogMemo = DebugMemo;
    if (DebugRaw)
        l.RawMemo = DebugRaw;
    FTrainerConnected = true;
    l.BaudRate = ant::ANT_BAUD_RATE;
    FDisconnectedWhileConnecting = false;
    {
        // From the stick's opening on: a Disconnect from a handler run in one of the waits closes
        // the link and leaves freeing it to this call.
        const QScopedValueRollback connecting(FConnecting, true);
        if (!openStick(l)) {
            FTrainerConnected = false;
            FStickError = l.StickError();
            platform::desktop().showMessageBox(
                { FMsgUsbDongleNotFound, QString(), platform::BoxIcon::Error, /*systemModal=*/true });
            return false;
        }
        if (!FDisconnectedWhileConnecting)
            startChannelsAndWait(l, TrainerNumber, HrNumber, KeyboardNumber);
    }
    if (FDisconnectedWhileConnecting) {
        // A handler disconnected while we waited; the link was closed then and is freed now.
        FTrainerConnected = false;
        freeLink();
        return false;
    }

    const bool answered = channelConnected(ant::TrainerChannel);
    FTrainerConnected = answered;
    if (answered) {
        if (!PollTimer)
            createPollTimer();
        if (channelConnected(ant::ConsoleChannel))
            ant::AntLink->KeepAliveTimer.setEnabled(true);
        devicebase::TVelCustomDevice::Connect();
    }
    return answered;
}

void TTavorDeviceANT::startChannelsAndWait(ant::lumo_ANT& l, std::int32_t TrainerNumber, std::int32_t HrNumber,
                                          std::int32_t KeyboardNumber)
{
    if (FDeviceTrainerNumber != 0)
        TrainerNumber = FDeviceTrainerNumber;
    if (FDeviceHrNumber != 0)
        HrNumber = FDeviceHrNumber;
    if (FDeviceNumberKeyboard != 0)
        KeyboardNumber = FDeviceNumberKeyboard;
    TrainerNumber = std::max(TrainerNumber, 0);
    HeartConnectionRaised = false;
    ConsoleConnectionRaised = false;
    describeChannels(l, TrainerNumber, HrNumber, KeyboardNumber);
    l.UseHeartChannel = FHeartEnabled;
    l.UseConsoleChannel = FEnableConsole;
    l.StartChannels();
    waitForTrainer();
}

bool TTavorDeviceANT::createLink()
{
    if (!platform::guardedCall(platform::Escaped::Stopped, "creating the ANT link",
            [this] { ant::AntLink = ant::CreateAntLink(FLibraryFactory); }))
        ant::AntLink.reset();
    if (ant::AntLink)
        return true;
    platform::desktop().showMessageBox({ QStringLiteral("Error in creating Ant Protocol"), platform::ApplicationTitle });
    return false;
}

void TTavorDeviceANT::freeLink()
{
    // The link's value stays the component's after the link is gone.
    FeventPerTurn = eventPerTurn();
    ant::AntLink.reset();
}

void TTavorDeviceANT::describeChannels(ant::lumo_ANT& l, std::int32_t TrainerNumber, std::int32_t HrNumber,
                                       std::int32_t KeyboardNumber)
{
    const auto trainer = static_cast<std::uint32_t>(TrainerNumber);
    describeChannel(l, ant::HeartChannel, profile::HeartRateBelt, profile::HeartRateBelt.rfFrequency, static_cast<std::uint32_t>(HrNumber));
    if (FRecieverType == rtTrainerNetwork) {
        describeChannel(l, ant::TrainerChannel, profile::NativeTrainer, ChannelTrainer, trainer);
        describeChannel(l, ant::SensorChannel, profile::SpeedCadenceSensor, ChannelSpeedCadence, trainer);
    } else {
        describeChannel(l, ant::TrainerChannel, profile::CompactTrainer, profile::CompactTrainer.rfFrequency, trainer);
    }
    describeChannel(l, ant::ConsoleChannel, profile::Console, ChannelConsole, static_cast<std::uint32_t>(KeyboardNumber));
}

void TTavorDeviceANT::waitForTrainer()
{
    platform::Clock& clock = platform::clock();
    const std::uint32_t start = clock.tickCount();
    auto answered = [this] { return FDisconnectedWhileConnecting || channelConnected(ant::TrainerChannel); };
    // Elapsed time as a wrapping difference, so a wrap of the tick counter does not end the wait;
    // each inner wait ends the moment the trainer answers.
    for (std::uint32_t waited = 0; !answered() && waited <= TrainerWaitMs; waited = clock.tickCount() - start)
        devicebase::WaitProcessingMessagesUntil(static_cast<std::int32_t>(TrainerWaitMs - waited + 1), answered);
}

void TTavorDeviceANT::createPollTimer()
{
    if (!FInPollTick)
        FRetiredPollTimers.clear();
    PollTimer = std::make_unique<platform::PeriodicTimer>(platform::clock(), PollIntervalMs, [this] { PollTimerTick(); });
    PollTimer->setEnabled(true);
}

void TTavorDeviceANT::releasePollTimer()
{
    if (!FInPollTick)
        FRetiredPollTimers.clear();
    if (!PollTimer)
        return;
    PollTimer->setEnabled(false);
    // A timer must not be freed from inside its own tick; it waits until the tick is over.
    if (FInPollTick)
        FRetiredPollTimers.push_back(std::move(PollTimer));
    PollTimer.reset();
}

void TTavorDeviceANT::Disconnect()
{
    devicebase::TVelCustomDevice::Disconnect();
    StatsTimer().SetEnabled(false);
    if (auto* l = link()) {
        l->KeepAliveTimer.setEnabled(false);
        l->KeepAliveTimer.setOnTimeout({});
    }
    releasePollTimer();
    if (auto* l = link())
        l->CloseAll();
    devicebase::WaitProcessingMessages(DisconnectSettleMs);
    if (!link())
        return;
    if (FConnecting) {
        // The waiting ConnectANT still works on the link; it frees it when its wait is over.
        FDisconnectedWhileConnecting = true;
        FTrainerConnected = false;
        return;
    }
    if (!destroying())
        FTrainerConnected = false;
    // Freed during destruction too (it is silenced and closed by now): a link left behind would
    // outlive the clock and the library it was made with.
    freeLink();
}

void TTavorDeviceANT::DisconnectPromptly()
{
    if (auto* l = link())
        l->ClosePromptly = true;
    Disconnect();
}

// ---- poll timer -------------------------------------------------------------------------------

void TTavorDeviceANT::PollTimerTick()
{
    const QScopedValueRollback inTick(FInPollTick, true);
    // Handlers may disconnect, so the link is looked up again after each of them.
    auto linkReady = [] {
        const auto* l = link();
        return l && l->Channels.size() >= 4;
    };
    if (!linkReady())
        return;
    if (!HeartConnectionRaised && channelConnected(ant::TrainerChannel)) {
        HeartConnectionRaised = true;
        if (OnHeartConnection)
            OnHeartConnection(this);
    }
    if (!linkReady())
        return;
    if (FEnableConsole && !ConsoleConnectionRaised && channelConnected(ant::ConsoleChannel) && OnConsoleConnection) {
        ConsoleConnectionRaised = true;
        OnConsoleConnection(this);
    }
    if (!OnConsoleKeydown || !linkReady())
        return;
    const std::array<bool, 4> keys = link()->ConsoleKeys;
    // Only the first key held counts; a key is reported once, when it is let go.
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (keys[k]) {
            ++KeyHoldTicks[k];
            break;
        }
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (!keys[k] && KeyHoldTicks[k] > 0) {
            KeyHoldTicks.fill(0);
            OnConsoleKeydown(this, static_cast<devicebase::TConsoleKey>(k));
            break;
        }
}

} // namespace caltrix::device
