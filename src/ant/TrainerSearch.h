#pragma once

#include "ant/lumo_ant_class.h"
#include "antproto/DeviceProfiles.h"
#include "platform/Clock.h"

#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace caltrix::ant {

// A trainer heard by the search, as its channel-ID answer names it.
struct FoundTrainer {
    std::uint16_t deviceNumber = 0;
    std::uint8_t deviceType = 0;
    std::uint8_t transmissionType = 0;
    bool operator==(const FoundTrainer&) const = default;
};

// Why a search ended.
enum class SearchEnd {
    TimeUp,        // the search time is over
    Cancelled,     // cancel()
    ListFull,      // as many trainers found as the stick's exclusion list holds
    NoIdList,      // a stick without the exclusion list: one trainer found, others may be in range
    NoStick,       // no stick could be opened (detail: the library's line)
    StickLost,     // the stick stopped answering, or the connection using it was closed (detail: why)
    NoFreeChannel, // the connected stick has no channel to spare for the search
    Refused,       // the stick refused a command of the search channel's setup (detail: which)
};

// One or two sentences for the person searching: what happened and, where it helps, what to do;
// `detail` (the library's line, or which command was refused) follows when there is one.
QString searchEndText(SearchEnd end, const QString& detail = {});

// What the search reports, always on the main thread from the event loop (never inside a call of
// the search's own operations, so a callback may destroy the search).
struct SearchCallbacks {
    // Each trainer once, with a device number other than 0.
    std::function<void(const FoundTrainer&)> found;
    // Once, at the end; not when the search is destroyed before it ended.
    std::function<void(SearchEnd, const QString& detail)> finished;
};

// The channel the search opens: the trainer's channel (network, period, device type, transmission
// type, RF frequency of the receiver mode in use) and its network's key; the device number is 0.
struct SearchChannelPlan {
    antproto::profile::DeviceProfile profile;
    AntKey networkKey {};
};

// Searches for trainers in range for up to DurationMs on the program clock. It opens a receiving
// channel like the trainer's with device number 0 (any trainer) and asks for the channel ID of the
// first trainer heard. Then, on a stick whose capabilities announce the inclusion/exclusion list,
// it closes the channel, puts every trainer found so far on the exclusion list and opens it again,
// so that the next trainer can be heard; on a stick without the list it ends after the first.
// A channel whose own search times out before the time is over is opened again.
//
// Main thread only. Destroying the search ends it (closing its channel) without a report.
class TrainerSearch {
public:
    static constexpr std::uint32_t DurationMs = 30000;
    // The channel the search uses on the stick of the connected link: the link uses 0 to 3.
    static constexpr std::uint8_t LinkSearchChannel = 4;

    // On a stick of its own: the library from `makeLibrary` (the sticks of CALTRIX_ANT when
    // empty), sticks 0..7 tried as the link tries them, reset and the same wait as the link's;
    // the search runs on channel 0 and resets and closes the stick at the end.
    static std::unique_ptr<TrainerSearch> onOwnStick(const AntLibraryFactory& makeLibrary,
                                                     const SearchChannelPlan& plan, SearchCallbacks callbacks);
    // On the open stick of `link`, on LinkSearchChannel, leaving the link's channels alone. Ends at
    // once with NoFreeChannel on a stick with no more than LinkSearchChannel channels, and with
    // StickLost when the link goes before the search ends.
    static std::unique_ptr<TrainerSearch> onLink(lumo_ANT& link, const SearchChannelPlan& plan,
                                                 SearchCallbacks callbacks);

    ~TrainerSearch();
    TrainerSearch(const TrainerSearch&) = delete;
    TrainerSearch& operator=(const TrainerSearch&) = delete;

    // Ends the search at once: its channel is closed, `finished` reports Cancelled.
    void cancel();
    bool running() const { return !ended_; }
    // Milliseconds of DurationMs gone, for a progress bar; frozen once the search ended.
    std::uint32_t elapsedMs() const;
    const std::vector<FoundTrainer>& found() const { return found_; }

private:
    struct LinkHook;
    struct LinkGuard;
    // A command of the channel's setup waiting for its answer.
    struct Step {
        std::uint8_t answered;
        std::function<bool()> send;
        bool mayFail = false;
    };
    enum class Phase { Starting, Capabilities, Configuring, Searching, Closing, Ended };

    TrainerSearch(const SearchChannelPlan& plan, SearchCallbacks callbacks, std::uint8_t channel);

    void startOwnStick(const AntLibraryFactory& makeLibrary);
    void askCapabilities();
    void capabilitiesKnown(std::uint8_t maxChannels, bool idList);
    void configureChannel();
    void openChannel();
    void excludeFoundAndReopen();
    void runSteps(std::deque<Step> steps, std::function<void()> then);
    void sendNextStep();
    bool sent(bool ok);

    // From the library (own stick) or the link's hook (link's stick).
    bool response(std::uint8_t channel, std::uint8_t messageId, std::span<const std::uint8_t> buffer);
    void commandAnswer(std::uint8_t answered, std::uint8_t result);
    void channelIdAnswer(std::span<const std::uint8_t> buffer);
    void channelEvent(std::uint8_t event);
    void linkGone();

    void finish(SearchEnd end, const QString& detail = {});
    void releaseChannel();
    void closeOwnStick();
    void notify(std::function<void()> report);
    void schedule(platform::ScheduleId& id, std::uint32_t ms, std::function<void()> work);
    void cancelScheduled(platform::ScheduleId& id);

    platform::ClockRef clock_;
    SearchChannelPlan plan_;
    SearchCallbacks callbacks_;
    const std::uint8_t channel_;
    std::unique_ptr<antlib::AntLibrary> ownLibrary_;
    antlib::AntLibrary* library_ = nullptr; // null once the link that owns it is gone
    std::shared_ptr<LinkHook> hook_;        // on the link's stick
    std::array<std::uint8_t, antlib::ResponseBufferSize> responseBuffer_ {};
    AntReceiveBuffer receiveBuffer_ {};

    Phase phase_ = Phase::Starting;
    bool ended_ = false;
    bool idList_ = false;
    bool assigned_ = false;    // the channel is assigned by the search
    bool channelOpen_ = false; // opened by the search and not reported closed since
    bool askedForId_ = false;  // a channel-ID request is waiting for its answer
    std::deque<Step> steps_;
    std::function<void()> afterSteps_;
    std::vector<FoundTrainer> found_;
    std::uint32_t startTick_ = 0;
    std::uint32_t endedElapsedMs_ = 0;

    platform::ScheduleId startId_ = 0;
    platform::ScheduleId waitId_ = 0;  // the wait after the reset, or for the capabilities
    platform::ScheduleId timeUpId_ = 0;
    platform::ScheduleId closeId_ = 0; // closing the own stick once its last commands went out
    platform::ScheduleId notifyId_ = 0;
    std::deque<std::function<void()>> reports_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0); // its weak copies see the search go
};

} // namespace caltrix::ant
