#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include <stdlib.h>

// Sets an environment variable, or removes it (no value), for the scope; the variable's earlier
// state comes back at the end.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<QString>& value)
        : name_(name)
    {
        if (const char* earlier = ::getenv(name))
            earlier_ = QByteArray(earlier);
        set(value ? std::optional<QByteArray>(value->toLocal8Bit()) : std::nullopt);
    }
    ~ScopedEnv() { set(earlier_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void set(const std::optional<QByteArray>& value)
    {
        if (value)
            ::setenv(name_, value->constData(), 1);
        else
            ::unsetenv(name_);
    }

    const char* name_;
    std::optional<QByteArray> earlier_;
};
