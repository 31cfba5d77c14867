#pragma once

#include "platform/Error.h"

#include <cstdint>

namespace caltrix::devicebase {

// The device library's error: its code picks the text that heads the message.
class EMVel : public platform::Error {
public:
    // Message: the code's table text, " (Error code: <Code>)", a line break, then `Msg`.
    EMVel(std::int32_t Code, const QString& Msg);

    std::int32_t ErrorCode;
};

// The table text of an error code (0 to 5).
QString DeviceErrorMessage(std::int32_t Code);

} // namespace caltrix::devicebase
