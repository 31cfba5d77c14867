#pragma once

#include <QString>
#include <QStringList>

namespace caltrix::hive {

// Finds the Wine server of a prefix, as Wine's own programs find it. While a server runs it keeps
// the prefix's registry in memory and writes it back over user.reg from there, so a change made to
// the file meanwhile is lost.
//
// The server works in a folder named "server-<device>-<inode>" after the prefix folder (both in
// lower-case hexadecimal) and holds a write lock on the first byte of the file "lock" in it. Where
// that folder lies depends on the Wine:
// - upstream Wine: in the Wine folder of the prefix's owner, "/tmp/.wine-<uid>";
// - Debian's Wine: in a folder it makes itself in the temporary folder ($TMPDIR, else /tmp), such
//   as "wine-Gn9wWE", whose bare name it records in the prefix's file "wineserver" (mode 0400, no
//   newline). An older or patched Wine may record an absolute path there instead.
class WineServer {
public:
    // Looks in the system's temporary folders: $TMPDIR when set, and /tmp.
    WineServer();

    // Looks in `temporaryFolders` instead (for tests).
    explicit WineServer(QStringList temporaryFolders);

    // The process id of the server running for the prefix folder `prefix`, or 0 when none runs
    // (also when the folder does not exist).
    long runningFor(const QString& prefix) const;

private:
    QStringList serverFolderCandidates(const QString& prefix, const QString& serverFolder, uint prefixOwner) const;

    QStringList temporaryFolders_;
};

} // namespace caltrix::hive
