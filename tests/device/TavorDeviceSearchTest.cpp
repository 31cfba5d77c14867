#include "DeviceHarness.h"

#include <gtest/gtest.h>

#include <optional>

using namespace caltrix;
using namespace caltrix::device;
using namespace caltrix::device::test;

namespace {

class DeviceSearchTest : public DeviceTest {
protected:
    DeviceSearchTest()
    {
        world.secondTrainer = true;
        world.secondTrainerNumber = 23456;
    }

    SearchCallbacks recording()
    {
        return { [this](const FoundTrainer& t) { found.push_back(t.deviceNumber); },
                 [this](SearchEnd e, const QString&) { end = e; } };
    }

    std::vector<std::uint16_t> found;
    std::optional<SearchEnd> end;
};

} // namespace

// Nothing connected: the device searches on a stick of its own from its library factory.
TEST_F(DeviceSearchTest, WithoutAConnectionSearchesOnAStickOfItsOwn)
{
    ITavorDevice& d = makeDevice();
    auto search = d.SearchTrainers(recording());
    ride(6'000);
    EXPECT_EQ(found, (std::vector<std::uint16_t> { 12345, 23456 }));
    EXPECT_EQ(stickOpens, 1);
    search.reset();
    EXPECT_FALSE(end) << "destroyed before it ended: no report";
}

// Connected: the search runs on the link's open stick and the trainer stays connected.
TEST_F(DeviceSearchTest, WhileConnectedSearchesOnTheLinksStick)
{
    ASSERT_TRUE(connectLikeTheWindow(12345));
    const int opensBefore = stickOpens;
    auto search = device->SearchTrainers(recording());
    ride(6'000);
    EXPECT_EQ(found, (std::vector<std::uint16_t> { 12345, 23456 }));
    EXPECT_EQ(stickOpens, opensBefore) << "no other stick was opened";
    search->cancel();
    ride(100);
    EXPECT_EQ(end, SearchEnd::Cancelled);
    EXPECT_TRUE(device->Connected());
    EXPECT_GT(device->GetSpeed(), 0.0);
}
