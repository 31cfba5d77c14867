#pragma once

#include <QString>

#include <stdexcept>

namespace caltrix::platform {

// The program's errors: an exception carrying a message for the user. `what()` gives it in UTF-8.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& message)
        : std::runtime_error(message.toStdString())
        , message_(message)
    {
    }
    const QString& message() const { return message_; }

private:
    QString message_;
};

// A text that is not the number it should be ("'abc' is not a valid integer value").
class ConvertError : public Error {
public:
    using Error::Error;
};

} // namespace caltrix::platform
