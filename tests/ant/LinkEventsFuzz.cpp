// Fuzz target: any channel event and any packet, on any channel number, for each receiver type and
// in any state of the link, is handled without reading or writing outside the link's records.
#include "LinkHarness.h"

#include <cstdint>

using namespace caltrix;
using namespace caltrix::ant;
using namespace caltrix::ant::test;

namespace {
// The state bits of the first input byte.
void setState(lumo_ANT& link, std::uint8_t bits)
{
    link.TxEnabled = bits & 0x01;
    link.ResistancePending = bits & 0x02;
    link.Command4Pending = bits & 0x04;
    link.DistanceRequestPending = bits & 0x08;
    link.Command8Pending = bits & 0x10;
    link.ConsoleSwitchPending = bits & 0x20;
    link.LogFilterOn = bits & 0x40;
    for (std::uint32_t ch = 0; ch < 4; ++ch)
        if (auto* record = link.ChannelRecord(ch))
            record->Connected = (bits & 0x80) != 0 || ch == 1;
}
} // namespace

// Input: receiver mode, state bits, then records of CHANNEL EVENT PAYLOAD[8]. Events 154 and 155
// deliver the payload as a packet; every other code is an RF event. Channels 0-3 come through the
// library's callbacks, the others straight to the handler.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static VirtualTime time;
    if (size < 2)
        return 0;
    RecordingLibrary lib;
    MemoryLog log;
    MemoryLog raw;
    AntLink = std::make_unique<lumo_ANT>(lib);
    lumo_ANT& link = *AntLink;
    link.LogMemo = &log;
    link.RawMemo = &raw;
    const std::uint32_t mode = data[0] % 3;
    describePlan(link, mode, { data[0] / 3u % 2 ? 12345u : 0u, 0, 777 });
    link.OpenStick(0);
    for (std::uint8_t ch = 0; ch < 4; ++ch)
        link.StartChannelSetup(ch);
    setState(link, data[1]);
    for (std::size_t at = 2; at + 10 <= size; at += 10) {
        const std::uint8_t ch = data[at];
        const std::uint8_t event = data[at + 1];
        AntPayload payload {};
        std::copy_n(data + at + 2, payload.size(), payload.begin());
        if (ch >= 4)
            link.HandleChannelEvent(ch, event);
        else if (event == EVENT_RX_BROADCAST || event == EVENT_RX_ACKNOWLEDGED)
            lib.packet(ch, payload, event == EVENT_RX_ACKNOWLEDGED);
        else
            lib.event(ch, event);
        if (event == 0xFF)
        {
            log.clear(); // keep the logs small over long inputs
            raw.clear();
        }
    }
    AntLink.reset();
    return 0;
}
