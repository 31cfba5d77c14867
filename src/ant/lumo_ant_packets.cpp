// The link's side of the four channels' packets: what a received packet changes, the replies to
// trainer and console, the commands waiting for the trainer's transmit slot, and the console's
// keep-alive. What the bytes mean is in AntPackets.

#include "ant/AntLogTexts.h"
#include "ant/lumo_ant_class.h"

namespace caltrix::ant {

namespace trainer = antproto::profile::trainer;
namespace console = antproto::profile::console;

namespace {
constexpr std::int32_t CadenceStaleLimit = 40; // packets without a crank event before 0 rpm
} // namespace

void lumo_ANT::QueueResistance(std::uint8_t Level)
{
    EnableTx();
    ResistanceLevel = Level;
    ResistancePending = true;
}

void lumo_ANT::EnableTx() { TxEnabled = true; }

// Channels 0, 2 and 3 count as connected on their first packet; the trainer (channel 1) only
// once its device number is known.
void lumo_ANT::packetStep(std::uint8_t ch, lumo_Channel& rec)
{
    switch (ch) {
    case HeartChannel:
        rec.Connected = true;
        HeartEventSeen = true;
        HeartRate = heartRate(payloadOf(rec.RxBuffer));
        return;
    case ConsoleChannel:
        consolePacket(rec);
        return;
    case SensorChannel: {
        rec.Connected = true;
        const SensorPacket packet = decodeSensorPacket(payloadOf(rec.RxBuffer));
        updateCadence(packet);
        updateSpeed(packet);
        return;
    }
    case TrainerChannel:
        trainerPacket(ch, rec);
        return;
    default:
        return;
    }
}

// Console pages: 0xFF acknowledges code 8, 9 or 10; 0xFE with code 10 is passed on; 0x05 the keys;
// 0x02 the memory values. Every packet is answered before the memory page is taken.
void lumo_ANT::consolePacket(lumo_Channel& console)
{
    const PayloadBytes p = payloadOf(console.RxBuffer);
    const std::uint8_t page = p[0];
    console.Connected = true;
    if (!KeepAliveTimer.enabled())
        KeepAliveTimer.setEnabled(true);
    if (page == console::PageAck) {
        switch (p[1]) {
        case console::CmdAcknowledgedOnly: ConsoleAck8 = true; break;
        case console::CmdSwitch: ConsoleAck9 = true; break;
        case console::CmdKeepAlive: ConsoleAck10 = true; break;
        default: break;
        }
    }
    if (page == console::PageNack && p[1] == console::CmdKeepAlive && OnConsoleCommand)
        OnConsoleCommand(console::CmdKeepAlive);
    if (page == console::PageKeys)
        ConsoleKeys = consoleKeys(p);
    consoleReplies(console);
    if (page == console::PageMemory) {
        ConsoleEprom = memoryValues(p);
        ConsoleEpromReceived = true;
        log(text::ConsoleMemoryReceived);
    }
}

// Keep-alive [0] 0x0A, [1..7] 0; switch [0] 0x09, [1] 1 on / 0 off, [2..7] 0.
// The console stays awake only while it hears us: one keep-alive for each of its packets, and the
// switch command right after it when one is waiting.
void lumo_ANT::consoleReplies(lumo_Channel& console)
{
    console.TxData = { console::CmdKeepAlive, 0, 0, 0, 0, 0, 0, 0 };
    sendCounted(ConsoleChannel, console, false, text::KeepAliveTail);
    if (!ConsoleSwitchPending)
        return;
    console.TxData = { console::CmdSwitch, static_cast<std::uint8_t>(ConsoleSwitchValue ? 1 : 0), 0, 0, 0, 0, 0, 0 };
    ConsoleSwitchPending = false;
    sendCounted(ConsoleChannel, console, false);
}

// Mode 1 speaks the compact protocol, mode 0 the native one; the passive mode leaves the trainer
// channel alone.
void lumo_ANT::trainerPacket(std::uint8_t ch, lumo_Channel& trainer)
{
    if (ReceiverMode != ModeSpeedSensor && ReceiverMode != ModeTrainerNetwork)
        return;
    if (trainer.DeviceNumber != 0)
        trainer.Connected = true;
    if (ReceiverMode == ModeSpeedSensor)
        DecodeCompactPacket(trainer.RxBuffer);
    else
        nativeTrainerPage(ch, payloadOf(trainer.RxBuffer));
}

// Native trainer pages: 0x07 distance; 0x02 memory values; 0xFF/0xFE [1] the code of the command
// acknowledged/refused; 0x11 [1] a value.
void lumo_ANT::nativeTrainerPage(std::uint8_t ch, PayloadBytes p)
{
    const std::uint8_t page = p[0];
    const std::uint8_t code = p[1];
    if (page == trainer::PageDistance) {
        log(text::TrainerDistanceReceived, { ch });
        TrainerDistance = trainerDistance(p);
        DistanceRequestPending = false;
    }
    if (page == trainer::PageMemory) {
        TrainerEprom = memoryValues(p);
        TrainerEpromReceived = true;
    }
    if (page == trainer::PageAck && code == trainer::CmdMemoryWrite)
        TrainerEpromWriteAcked = true;
    if (page == trainer::PageAck)
        log(text::TrainerAck, { ch, code });
    if (page == trainer::PageNack)
        log(text::TrainerNack, { ch, code });
    if (page == trainer::PageSingleValue) {
        Page17Seen = true;
        Page17Value = code;
    }
}

// Resistance [0] 0x01, [1] level 0..255, [2..7] 0; compact [0..1] CompactValue LE, [2..6] 0, [7] 0x01.
// Every trainer packet is answered at once: the current resistance level (native protocol) or
// the compact value (compact protocol).
void lumo_ANT::replyStep(std::uint8_t ch, lumo_Channel& rec)
{
    if (ch != TrainerChannel)
        return;
    if (ReceiverMode == ModeSpeedSensor) {
        if (CompactValue == 0xFFFF)
            CompactValue = 0xFFFE; // 0xFFFF is never sent
        rec.TxData = { static_cast<std::uint8_t>(CompactValue & 0xFF), static_cast<std::uint8_t>(CompactValue >> 8),
                       0, 0, 0, 0, 0, 0x01 };
    } else if (ReceiverMode == ModeTrainerNetwork) {
        rec.TxData = { trainer::CmdResistance, ResistanceLevel, 0, 0, 0, 0, 0, 0 };
    } else {
        return;
    }
    library_.ANT_SendBroadcastData(ch, rec.TxData);
    if (LogMemo != nullptr && trafficLogPasses(ch))
        log(replyLine(ch, rec.TxData));
}

// [0] command; 0x04 and 0x07 nothing more; 0x08 [1..3] Command8Value (24 bits LE); 0x03 [1..2]
// memory word 0 LE, [3..7] low bytes of words 1..5; unused bytes 0.
// At a transmit slot of the trainer channel: the waiting commands, each overwriting TxData in turn;
// only the memory write is sent from here.
void lumo_ANT::commandStep(std::uint8_t ch, lumo_Channel& rec)
{
    if (ch != TrainerChannel)
        return;
    auto& t = rec.TxData;
    if (ReceiverMode == ModeSpeedSensor) {
        t[0] = static_cast<std::uint8_t>(CompactValue & 0xFF);
        t[1] = static_cast<std::uint8_t>(CompactValue >> 8);
        return;
    }
    if (ReceiverMode != ModeTrainerNetwork)
        return;
    if (ResistancePending) {
        t = { trainer::CmdResistance, ResistanceLevel, 0, 0, 0, 0, 0, 0 };
        ResistancePending = false;
    }
    if (Command4Pending) {
        t = { trainer::CmdCodeOnly, 0, 0, 0, 0, 0, 0, 0 };
        Command4Pending = false;
    }
    if (DistanceRequestPending)
        t = { trainer::CmdDistanceRequest, 0, 0, 0, 0, 0, 0, 0 }; // until page 7 answers
    if (Command8Pending) {
        t = { trainer::CmdThreeByteValue, static_cast<std::uint8_t>(Command8Value & 0xFF),
              static_cast<std::uint8_t>((Command8Value >> 8) & 0xFF),
              static_cast<std::uint8_t>((Command8Value >> 16) & 0xFF), 0, 0, 0, 0 };
        Command8Pending = false;
    }
    if (TrainerEpromWritePending) {
        const auto& w = TrainerEpromWriteData;
        t = { trainer::CmdMemoryWrite,
              static_cast<std::uint8_t>(w[0] & 0xFF),
              static_cast<std::uint8_t>(w[0] >> 8),
              static_cast<std::uint8_t>(w[1] & 0xFF),
              static_cast<std::uint8_t>(w[2] & 0xFF),
              static_cast<std::uint8_t>(w[3] & 0xFF),
              static_cast<std::uint8_t>(w[4] & 0xFF),
              static_cast<std::uint8_t>(w[5] & 0xFF) };
        TrainerEpromWritePending = false;
        log(text::TrainerMemoryWrite);
        sendCounted(ch, rec, true);
    }
}

// Sends the channel's TxData (acknowledged or broadcast), writes its Tx line with `tail` and counts it.
void lumo_ANT::sendCounted(std::uint8_t ch, const lumo_Channel& rec, bool acknowledged, const char* tail)
{
    if (acknowledged)
        library_.ANT_SendAcknowledgedData(ch, rec.TxData);
    else
        library_.ANT_SendBroadcastData(ch, rec.TxData);
    if (LogMemo != nullptr && trafficLogPasses(ch))
        log(radioLine(text::TxHead, ch, rec.TxData, rec.RfFrequency, TxCount) + tail);
    ++TxCount;
}

// ---------------------------------------------------------------------------------------------
// Speed-and-cadence sensor: a new value needs a new revolution count; the packet then becomes the
// previous one whether or not it gave a value (a wrapped counter gives none).

void lumo_ANT::updateCadence(const SensorPacket& packet)
{
    CadenceTime = packet.crankTime;
    CadenceRevs = packet.crankRevs;
    if (CadenceRevs != CadencePrevRevs) {
        if (const auto rpm = cadenceFrom(CadenceTime - CadencePrevTime, CadenceRevs - CadencePrevRevs)) {
            Cadence = *rpm;
            CadenceStaleCount = 0;
        }
        CadencePrevTime = CadenceTime;
        CadencePrevRevs = CadenceRevs;
    } else if (CadenceTime == CadencePrevTime) {
        ++CadenceStaleCount;
        if (CadenceStaleCount > CadenceStaleLimit)
            Cadence = 0;
    }
}

void lumo_ANT::updateSpeed(const SensorPacket& packet)
{
    SpeedTime = packet.wheelTime;
    WheelRevs = packet.wheelRevs;
    if (WheelRevs != WheelPrevRevs) {
        if (const auto speed = wheelSpeedFrom(WheelDiameter, EventsPerTurn, WheelRevs - WheelPrevRevs,
                                              SpeedTime - SpeedPrevTime))
            Speed = *speed;
        SpeedPrevTime = SpeedTime;
        WheelPrevRevs = WheelRevs;
    } else if (SpeedTime == SpeedPrevTime) {
        Speed = 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Compact trainer protocol.

bool lumo_ANT::IsBitSet(std::uint8_t value, std::uint8_t bit) { return bit < 8 && ((value >> bit) & 1U) != 0; }

// The first packet after Distance was -1 becomes the base, so that the distance starts at 0.
void lumo_ANT::DecodeCompactPacket(const AntReceiveBuffer& buffer)
{
    const CompactPacket packet = decodeCompactPacket(payloadOf(buffer));
    Speed = packet.speed;
    if (Distance == -1)
        DistanceBase = packet.distance;
    Distance = packet.distance - DistanceBase;
    Cadence = packet.cadence;
    OutOfRange = packet.outOfRange;
}

// The keep-alive leaves with the next console packet; the tick only prepares it.
void lumo_ANT::KeepAliveTimerTick()
{
    lumo_Channel* console = ChannelRecord(ConsoleChannel);
    if (console == nullptr) {
        KeepAliveTimer.setEnabled(false); // no console described: nothing to keep alive
        return;
    }
    if (console->DeviceNumber == 0)
        return;
    if (!UseConsoleChannel) {
        KeepAliveTimer.setEnabled(false);
        return;
    }
    console->TxData = { console::CmdKeepAlive, 0, 0, 0, 0, 0, 0, 0 };
}

} // namespace caltrix::ant
