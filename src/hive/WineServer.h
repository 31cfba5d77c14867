#pragma once

#include <QString>

namespace caltrix::hive {

// Finds the Wine server of a prefix, as Wine's own programs find it. While a server runs it keeps
// the prefix's registry in memory and writes it back over user.reg from there, so a change made to
// the file meanwhile is lost.
//
// The server works in a folder named "server-<device>-<inode>" after the prefix folder (both in
// hexadecimal) and holds a write lock on the first byte of the file "lock" in it. That folder lies
// in the Wine temporary folder of the prefix's owner, "<tmp>/.wine-<uid>"; Debian's Wine instead
// makes a temporary folder of its own (such as /tmp/wine-XXXXXX) and records its name in the
// prefix's file "wineserver".
class WineServer {
public:
    // `tmp`: the system's temporary folder, where Wine keeps its folders.
    explicit WineServer(QString tmp = QStringLiteral("/tmp"))
        : tmp_(std::move(tmp))
    {
    }

    // The process id of the server running for the prefix folder `prefix`, or 0 when none runs
    // (also when the folder does not exist).
    long runningFor(const QString& prefix) const;

private:
    QString tmp_;
};

} // namespace caltrix::hive
