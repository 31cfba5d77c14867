#pragma once

#include "hive/Hive.h"

#include <QString>

namespace caltrix::hive {

// The hive of the current user (the registry's HKEY_CURRENT_USER): the file named by
// CALTRIX_REGISTRY, else user.reg of the Wine prefix named by WINEPREFIX, else of ~/.wine. Like the clock and the desktop it is process-wide; a test
// or a tool hands in another hive for a scope with ScopedCurrentUser. Main thread only.
Hive& currentUser();

// The file `currentUser()` uses when no other hive was handed in.
QString defaultUserHivePath();

class ScopedCurrentUser {
public:
    explicit ScopedCurrentUser(Hive& hive);
    ~ScopedCurrentUser();
    ScopedCurrentUser(const ScopedCurrentUser&) = delete;
    ScopedCurrentUser& operator=(const ScopedCurrentUser&) = delete;

private:
    Hive* previous_;
};

} // namespace caltrix::hive
