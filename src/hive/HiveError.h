#pragma once

#include "platform/Error.h"

namespace caltrix::hive {

// A failure of the settings hive: the file cannot be read, is no Wine registry file, cannot be
// locked or written, or a value is not of the type asked for.
class HiveError : public platform::Error {
public:
    using Error::Error;
};

} // namespace caltrix::hive
