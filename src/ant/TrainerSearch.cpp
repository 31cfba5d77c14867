#include "ant/TrainerSearch.h"

#include "antlib/AntDriver.h"
#include "antproto/AntMessage.h"
#include "platform/Platform.h"

#include <algorithm>

namespace caltrix::ant {

namespace msg = antproto::msg;
namespace code = antproto::code;

namespace {

constexpr std::uint8_t OwnStickChannel = 0;
constexpr std::uint8_t ReceivingChannel = 0;
// 2.5 s units: 10 s, so that with nothing in range the channel is opened again twice in the
// search time, not many times a second.
constexpr std::uint8_t ChannelSearchTimeout = 4;
// A stick that does not answer the capabilities request in this time is searched without the list.
constexpr std::uint32_t CapabilitiesWaitMs = 1000;
// The own stick is closed this long after its last commands (close, unassign, reset) went out.
constexpr std::uint32_t OwnStickCloseSettleMs = 500;

QString hexByte(std::uint8_t b) { return QStringLiteral("0x%1").arg(b, 2, 16, QLatin1Char('0')); }

} // namespace

QString searchEndText(SearchEnd end, const QString& detail)
{
    QString text;
    switch (end) {
    case SearchEnd::TimeUp:
        text = QStringLiteral("The search is over: no other trainer was heard in %1 s.").arg(TrainerSearch::DurationMs / 1000);
        break;
    case SearchEnd::Cancelled:
        text = QStringLiteral("The search was cancelled.");
        break;
    case SearchEnd::ListFull:
        text = QStringLiteral("The search stopped after %1 trainers, as many as the ANT stick can leave out of a "
                              "search; switch off those you do not want and search again.")
                   .arg(antproto::IdListSize);
        break;
    case SearchEnd::NoIdList:
        text = QStringLiteral("This ANT stick finds one trainer per search: others may be in range. To find another, "
                              "switch off the trainer found and search again.");
        break;
    case SearchEnd::NoStick:
        text = QStringLiteral("No ANT stick could be opened for the search.");
        break;
    case SearchEnd::StickLost:
        text = QStringLiteral("The ANT stick stopped answering during the search.");
        break;
    case SearchEnd::NoFreeChannel:
        text = QStringLiteral("The connected ANT stick has no channel free for a search; close Caltrix and search "
                              "from its settings alone (caltrix --settings).");
        break;
    case SearchEnd::Refused:
        text = QStringLiteral("The ANT stick refused to set up the search channel.");
        break;
    }
    return detail.isEmpty() ? text : text + QLatin1Char(' ') + detail;
}

// ---------------------------------------------------------------------------------------------
// The hook on the link of the connected program. The link keeps it (in OnOtherResponse) as long
// as it lives or until another search replaces it: when it goes, the search learns that the link
// went. After the search ended, it takes the answers to the search channel's last commands (close,
// unassign), so that the link never logs them as answers it did not expect.

struct TrainerSearch::LinkHook {
    TrainerSearch* search = nullptr; // null once the search ended
    std::uint8_t channel = 0;
    bool swallowing = false;

    bool take(std::uint8_t ch, std::uint8_t id, std::span<const std::uint8_t> buffer)
    {
        if (search != nullptr)
            return search->response(ch, id, buffer);
        if (!swallowing || ch != channel || (id != msg::ChannelResponse && id != msg::ChannelId))
            return false;
        if (id == msg::ChannelResponse && buffer.size() > 1 && buffer[1] == msg::UnassignChannel)
            swallowing = false;
        return true;
    }
};

struct TrainerSearch::LinkGuard {
    std::shared_ptr<LinkHook> hook;
    ~LinkGuard()
    {
        if (hook->search != nullptr)
            hook->search->linkGone();
    }
};

// ---------------------------------------------------------------------------------------------
// Construction.

TrainerSearch::TrainerSearch(const SearchChannelPlan& plan, SearchCallbacks callbacks, std::uint8_t channel)
    : clock_(platform::clock())
    , plan_(plan)
    , callbacks_(std::move(callbacks))
    , channel_(channel)
    , startTick_(platform::clock().tickCount())
{
    schedule(timeUpId_, DurationMs, [this] { finish(SearchEnd::TimeUp); });
}

std::unique_ptr<TrainerSearch> TrainerSearch::onOwnStick(const AntLibraryFactory& makeLibrary,
                                                         const SearchChannelPlan& plan, SearchCallbacks callbacks)
{
    std::unique_ptr<TrainerSearch> search(new TrainerSearch(plan, std::move(callbacks), OwnStickChannel));
    // The first step runs from the event loop, so that even "no stick" is reported after the caller
    // holds the search.
    search->schedule(search->startId_, 0, [s = search.get(), makeLibrary] { s->startOwnStick(makeLibrary); });
    return search;
}

std::unique_ptr<TrainerSearch> TrainerSearch::onLink(lumo_ANT& link, const SearchChannelPlan& plan,
                                                     SearchCallbacks callbacks)
{
    std::unique_ptr<TrainerSearch> search(new TrainerSearch(plan, std::move(callbacks), LinkSearchChannel));
    TrainerSearch* s = search.get();
    s->library_ = &link.Library();
    s->hook_ = std::make_shared<LinkHook>();
    s->hook_->search = s;
    s->hook_->channel = LinkSearchChannel;
    auto guard = std::make_shared<LinkGuard>();
    guard->hook = s->hook_;
    link.OnOtherResponse = [guard](std::uint8_t ch, std::uint8_t id, std::span<const std::uint8_t> buffer) {
        return guard->hook->take(ch, id, buffer);
    };
    const bool channelInUse = link.ChannelRecord(LinkSearchChannel) != nullptr;
    s->schedule(s->startId_, 0, [s, channelInUse] {
        if (channelInUse)
            s->finish(SearchEnd::NoFreeChannel);
        else
            s->askCapabilities();
    });
    return search;
}

TrainerSearch::~TrainerSearch()
{
    if (!ended_) {
        callbacks_ = {};
        finish(SearchEnd::Cancelled);
    }
    for (auto* id : { &startId_, &waitId_, &timeUpId_, &closeId_, &notifyId_ })
        cancelScheduled(*id);
    if (hook_)
        hook_->search = nullptr;
    if (ownLibrary_)
        ownLibrary_->ANT_Close();
}

void TrainerSearch::cancel() { finish(SearchEnd::Cancelled); }

std::uint32_t TrainerSearch::elapsedMs() const
{
    if (ended_)
        return endedElapsedMs_;
    return std::min(DurationMs, clock_->tickCount() - startTick_);
}

// ---------------------------------------------------------------------------------------------
// The steps of a search.

// As the link opens a stick: the first of sticks 0..7 that opens, reset, and the link's wait.
void TrainerSearch::startOwnStick(const AntLibraryFactory& makeLibrary)
{
    ownLibrary_ = makeLibrary ? makeLibrary() : antlib::createAntLibrary();
    if (!ownLibrary_) {
        finish(SearchEnd::NoStick, QStringLiteral("The ANT library could not be created."));
        return;
    }
    library_ = ownLibrary_.get();
    bool opened = false;
    for (std::uint8_t n = 0; n < StickNumbers && !opened; ++n)
        opened = library_->ANT_Init(n, ANT_BAUD_RATE, 0, 0);
    if (!opened) {
        finish(SearchEnd::NoStick, QString::fromStdString(library_->lastError()));
        return;
    }
    library_->ANT_AssignResponseFunction(
        [this, alive = std::weak_ptr<int>(alive_)](std::uint8_t ch, std::uint8_t id) {
            if (!alive.expired())
                response(ch, id, responseBuffer_);
            return std::uint8_t { 0 };
        },
        responseBuffer_);
    if (!sent(library_->ANT_ResetSystem()))
        return;
    schedule(waitId_, StickResetSleepMs, [this] { askCapabilities(); });
}

void TrainerSearch::askCapabilities()
{
    phase_ = Phase::Capabilities;
    if (!sent(library_->ANT_RequestMessage(channel_, msg::Capabilities)))
        return;
    schedule(waitId_, CapabilitiesWaitMs, [this] { capabilitiesKnown(0, false); });
}

// `maxChannels` 0: not known.
void TrainerSearch::capabilitiesKnown(std::uint8_t maxChannels, bool idList)
{
    cancelScheduled(waitId_);
    idList_ = idList;
    if (hook_ && maxChannels != 0 && maxChannels <= LinkSearchChannel) {
        finish(SearchEnd::NoFreeChannel);
        return;
    }
    configureChannel();
}

// The trainer's channel with device number 0. On the link's stick the network already holds its
// key (and the key's answer would name the network, i.e. one of the link's channels); a channel
// left assigned by an earlier search is unassigned first.
void TrainerSearch::configureChannel()
{
    phase_ = Phase::Configuring;
    library_->ANT_AssignChannelEventFunction(
        channel_,
        // The link's library may outlive both the link and the search (a test's does).
        [this, alive = std::weak_ptr<int>(alive_)](std::uint8_t, std::uint8_t event) {
            if (!alive.expired())
                channelEvent(event);
            return std::uint8_t { 0 };
        },
        receiveBuffer_);
    auto& lib = *library_;
    const auto ch = channel_;
    const auto& p = plan_.profile;
    std::deque<Step> steps;
    if (hook_)
        steps.push_back({ msg::UnassignChannel, [&lib, ch] { return lib.ANT_UnAssignChannel(ch); }, true });
    else
        steps.push_back({ msg::NetworkKey, [this, &lib, p] { return lib.ANT_SetNetworkKey(p.network, plan_.networkKey); } });
    steps.push_back({ msg::AssignChannel, [this, &lib, ch, p] {
                         assigned_ = true;
                         return lib.ANT_AssignChannel(ch, ReceivingChannel, p.network);
                     } });
    steps.push_back({ msg::ChannelId, [&lib, ch, p] { return lib.ANT_SetChannelId(ch, 0, p.deviceType, p.transmissionType); } });
    steps.push_back({ msg::ChannelPeriod, [&lib, ch, p] { return lib.ANT_SetChannelPeriod(ch, p.period); } });
    steps.push_back({ msg::SearchTimeout, [&lib, ch] { return lib.ANT_SetChannelSearchTimeout(ch, ChannelSearchTimeout); } });
    steps.push_back({ msg::RfFrequency, [&lib, ch, p] { return lib.ANT_SetChannelRFFreq(ch, p.rfFrequency); } });
    runSteps(std::move(steps), [this] { openChannel(); });
}

void TrainerSearch::openChannel()
{
    phase_ = Phase::Configuring;
    std::deque<Step> steps;
    steps.push_back({ msg::OpenChannel, [this] {
                         channelOpen_ = true;
                         return library_->ANT_OpenChannel(channel_);
                     } });
    runSteps(std::move(steps), [this] {
        phase_ = Phase::Searching;
        askedForId_ = false;
    });
}

// The channel is closed: every trainer found goes on the exclusion list, and the search goes on.
void TrainerSearch::excludeFoundAndReopen()
{
    phase_ = Phase::Configuring;
    std::deque<Step> steps;
    for (std::size_t i = 0; i < found_.size(); ++i)
        steps.push_back({ msg::AddChannelIdToList, [this, i] {
                             const auto& t = found_[i];
                             return library_->ANT_AddChannelID(channel_, t.deviceNumber, t.deviceType,
                                                               t.transmissionType, static_cast<std::uint8_t>(i));
                         } });
    steps.push_back({ msg::ConfigIdList, [this] {
                         return library_->ANT_ConfigList(channel_, static_cast<std::uint8_t>(found_.size()), true);
                     } });
    runSteps(std::move(steps), [this] { openChannel(); });
}

// One command at a time, each sent once the stick accepted the one before, as the link
// configures its channels.
void TrainerSearch::runSteps(std::deque<Step> steps, std::function<void()> then)
{
    steps_ = std::move(steps);
    afterSteps_ = std::move(then);
    sendNextStep();
}

void TrainerSearch::sendNextStep()
{
    if (steps_.empty()) {
        auto then = std::move(afterSteps_);
        afterSteps_ = nullptr;
        if (then)
            then();
        return;
    }
    sent(steps_.front().send());
}

// A command the library could not send: the stick is gone.
bool TrainerSearch::sent(bool ok)
{
    if (!ok)
        finish(SearchEnd::StickLost, library_ ? QString::fromStdString(library_->lastError()) : QString());
    return ok;
}

// ---------------------------------------------------------------------------------------------
// From the stick.

bool TrainerSearch::response(std::uint8_t channel, std::uint8_t messageId, std::span<const std::uint8_t> buffer)
{
    if (ended_ || buffer.size() < 5)
        return false;
    if (messageId == msg::Capabilities) {
        if (phase_ != Phase::Capabilities)
            return false;
        capabilitiesKnown(buffer[antproto::capability::MaxChannelsByte],
                          (buffer[antproto::capability::AdvancedOptionsByte] & antproto::capability::IdListOption) != 0);
        return true;
    }
    // The network key's answer names the network; on the own stick every answer is the search's.
    const bool ours = channel == channel_ || (!hook_ && messageId == msg::ChannelResponse && buffer[1] == msg::NetworkKey);
    if (!ours)
        return false;
    if (messageId == msg::ChannelResponse)
        commandAnswer(buffer[1], buffer[2]);
    else if (messageId == msg::ChannelId)
        channelIdAnswer(buffer);
    return messageId == msg::ChannelResponse || messageId == msg::ChannelId;
}

void TrainerSearch::commandAnswer(std::uint8_t answered, std::uint8_t result)
{
    if (!steps_.empty() && steps_.front().answered == answered) {
        const bool mayFail = steps_.front().mayFail;
        steps_.pop_front();
        if (result != code::NoError && !mayFail) {
            finish(SearchEnd::Refused,
                   QStringLiteral("(command %1 answered %2)").arg(hexByte(answered), hexByte(result)));
            return;
        }
        sendNextStep();
        return;
    }
    // A close refused while the search closes its channel: the channel had closed by itself.
    if (answered == msg::CloseChannel && phase_ == Phase::Closing && result != code::NoError) {
        channelOpen_ = false;
        excludeFoundAndReopen();
    }
}

void TrainerSearch::channelIdAnswer(std::span<const std::uint8_t> buffer)
{
    if (phase_ != Phase::Searching || !askedForId_)
        return;
    askedForId_ = false;
    const FoundTrainer trainer { static_cast<std::uint16_t>(buffer[1] | buffer[2] << 8), buffer[3], buffer[4] };
    // Number 0: the stick echoed the wildcard before the channel found its trainer; the next
    // broadcast asks again.
    if (trainer.deviceNumber == 0 || std::find(found_.begin(), found_.end(), trainer) != found_.end())
        return;
    found_.push_back(trainer);
    notify([this, trainer] {
        if (callbacks_.found)
            callbacks_.found(trainer);
    });
    if (!idList_) {
        finish(SearchEnd::NoIdList);
        return;
    }
    if (found_.size() >= antproto::IdListSize) {
        finish(SearchEnd::ListFull);
        return;
    }
    phase_ = Phase::Closing;
    sent(library_->ANT_CloseChannel(channel_));
}

void TrainerSearch::channelEvent(std::uint8_t event)
{
    if (ended_)
        return;
    if (event == code::BroadcastReceived || event == code::AcknowledgedReceived) {
        if (phase_ == Phase::Searching && !askedForId_) {
            askedForId_ = true;
            sent(library_->ANT_RequestMessage(channel_, msg::ChannelId));
        }
        return;
    }
    if (event != code::ChannelClosed)
        return;
    channelOpen_ = false;
    if (phase_ == Phase::Searching)
        openChannel(); // its own search timed out: nothing (more) was heard yet
    else if (phase_ == Phase::Closing)
        excludeFoundAndReopen();
}

// The link, and the library it owned, are gone: nothing may be sent any more.
void TrainerSearch::linkGone()
{
    library_ = nullptr;
    hook_.reset();
    finish(SearchEnd::StickLost, QStringLiteral("The connection to the trainer was closed during the search."));
}

// ---------------------------------------------------------------------------------------------
// The end.

void TrainerSearch::finish(SearchEnd end, const QString& detail)
{
    if (ended_)
        return;
    endedElapsedMs_ = elapsedMs();
    ended_ = true;
    phase_ = Phase::Ended;
    for (auto* id : { &startId_, &waitId_, &timeUpId_ })
        cancelScheduled(*id);
    steps_.clear();
    afterSteps_ = nullptr;
    releaseChannel();
    notify([this, end, detail] {
        if (callbacks_.finished)
            callbacks_.finished(end, detail);
    });
}

// Closes and unassigns the search channel; the own stick is reset and, a moment later, closed.
void TrainerSearch::releaseChannel()
{
    if (library_ == nullptr)
        return;
    if (channelOpen_)
        library_->ANT_CloseChannel(channel_);
    if (assigned_)
        library_->ANT_UnAssignChannel(channel_);
    library_->ANT_AssignChannelEventFunction(channel_, {}, receiveBuffer_);
    if (hook_) {
        hook_->swallowing = assigned_;
        hook_->search = nullptr;
    }
    channelOpen_ = false;
    assigned_ = false;
    if (ownLibrary_ && library_->ANT_ResetSystem())
        schedule(closeId_, OwnStickCloseSettleMs, [this] { closeOwnStick(); });
    else if (ownLibrary_)
        closeOwnStick();
}

void TrainerSearch::closeOwnStick()
{
    if (ownLibrary_)
        ownLibrary_->ANT_Close();
}

// Reports go out from the event loop, one after the other; a report may destroy the search.
void TrainerSearch::notify(std::function<void()> report)
{
    reports_.push_back(std::move(report));
    if (notifyId_ != 0)
        return;
    schedule(notifyId_, 0, [this] {
        auto alive = std::weak_ptr<int>(alive_);
        while (!alive.expired() && !reports_.empty()) {
            auto report = std::move(reports_.front());
            reports_.pop_front();
            report();
        }
    });
}

void TrainerSearch::schedule(platform::ScheduleId& id, std::uint32_t ms, std::function<void()> work)
{
    cancelScheduled(id);
    id = clock_->callAfter(ms, [&id, work = std::move(work)] {
        id = 0;
        work();
    });
}

void TrainerSearch::cancelScheduled(platform::ScheduleId& id)
{
    if (id != 0)
        clock_->cancel(id);
    id = 0;
}

} // namespace caltrix::ant
