#include "devicebase/EMVel.h"

#include "devicebase/Format.h"

#include <array>

namespace caltrix::devicebase {

namespace {
const std::array<const char*, 6> DeviceErrorMessages = {
    "One or more competitor(s) not ready to start",
    "Course not ready to Start",
    "Error while UnAssignDeviceSourceEvents",
    "This function can't accept a DeviceType Unknown or this device is not compatible",
    "Error while reading the resistance map",
    "CompetitorList unAssigned",
};
} // namespace

QString DeviceErrorMessage(std::int32_t Code)
{
    // A code outside the table gets a neutral heading instead of reading past its end.
    if (Code < 0 || Code >= static_cast<std::int32_t>(DeviceErrorMessages.size()))
        return QStringLiteral("Device library error");
    return QString::fromLatin1(DeviceErrorMessages[static_cast<std::size_t>(Code)]);
}

EMVel::EMVel(std::int32_t Code, const QString& Msg)
    : platform::Error(DeviceErrorMessage(Code) + Format(" (Error code: %d)\r\n%s", { Code, Msg }))
    , ErrorCode(Code)
{
}

} // namespace caltrix::devicebase
