#pragma once

#include "platform/Error.h"

namespace caltrix::hive {

// A failure of the settings hive: the file cannot be read, is no Wine registry file, cannot be
// locked or written, or a value is not of the type asked for.
class HiveError : public platform::Error {
public:
    using Error::Error;
};

// The hive file cannot be read at all: not permitted, not a regular file, or no Wine registry file.
// `reason` says which, in a few words, for a tool's one-line "cannot read FILE: reason".
class HiveReadError : public HiveError {
public:
    HiveReadError(const QString& message, QString file, QString reason)
        : HiveError(message)
        , file_(std::move(file))
        , reason_(std::move(reason))
    {
    }
    const QString& file() const { return file_; }
    const QString& reason() const { return reason_; }

private:
    QString file_;
    QString reason_;
};

} // namespace caltrix::hive
