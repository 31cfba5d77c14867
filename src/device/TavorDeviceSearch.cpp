// "Find my trainer": the search for trainers in range, on the link's stick while connected,
// otherwise on a stick of its own.
#include "device/TavorDeviceANT.h"

#include "antlib/NetworkKeys.h"

namespace caltrix::device {

namespace {

namespace profile = antproto::profile;

// The trainer's channel as ConnectANT describes it for `receiver`, with its network's key.
ant::SearchChannelPlan trainerChannelPlan(TLumoRecieverType receiver, std::uint8_t nativeTrainerRf)
{
    ant::SearchChannelPlan plan { profile::NativeTrainer, {} };
    if (receiver == rtTrainerNetwork)
        plan.profile.rfFrequency = nativeTrainerRf;
    else
        plan.profile = profile::CompactTrainer;
    plan.networkKey = plan.profile.network == profile::PublicNetwork ? antlib::networkKeyA() : antlib::networkKeyB();
    return plan;
}

} // namespace

std::unique_ptr<TrainerSearch> ITavorDevice::SearchTrainers(SearchCallbacks callbacks)
{
    return SearchTrainersAlone(std::move(callbacks));
}

std::unique_ptr<TrainerSearch> SearchTrainersAlone(SearchCallbacks callbacks, const ant::AntLibraryFactory& makeLibrary)
{
    return TrainerSearch::onOwnStick(makeLibrary, trainerChannelPlan(rtTrainerNetwork, profile::NativeTrainer.rfFrequency),
                                     std::move(callbacks));
}

std::unique_ptr<TrainerSearch> TTavorDeviceANT::SearchTrainers(SearchCallbacks callbacks)
{
    const auto plan = trainerChannelPlan(FRecieverType, ChannelTrainer);
    // The link has described its channels once it opened a stick.
    if (auto* l = link(); l != nullptr && l->ChannelRecord(ant::TrainerChannel) != nullptr)
        return TrainerSearch::onLink(*l, plan, std::move(callbacks));
    return TrainerSearch::onOwnStick(FLibraryFactory, plan, std::move(callbacks));
}

} // namespace caltrix::device
