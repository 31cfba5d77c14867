#include "hive/WineServer.h"

#include "hive/HiveLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sys/stat.h>
#include <unistd.h>

namespace caltrix::hive {

namespace {

// The folder that Debian's Wine names in the prefix's "wineserver" file, if any.
QString recordedServerRoot(const QString& prefix)
{
    QFile file(QDir(prefix).filePath(QStringLiteral("wineserver")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A path, perhaps followed by a newline or a NUL.
    QByteArray text = file.read(4096);
    if (const qsizetype nul = text.indexOf('\0'); nul >= 0)
        text.truncate(nul);
    return QFile::decodeName(text.trimmed());
}

} // namespace

long WineServer::runningFor(const QString& prefix) const
{
    struct stat st {};
    if (::stat(QFile::encodeName(prefix).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return 0;
    const QString serverFolder = QStringLiteral("server-%1-%2")
                                     .arg(static_cast<qulonglong>(st.st_dev), 0, 16)
                                     .arg(static_cast<qulonglong>(st.st_ino), 0, 16);
    QStringList candidates;
    // The prefix's owner runs its server; we may be another user (root, changing a user's prefix).
    for (const uid_t uid : QSet<uid_t> { st.st_uid, ::getuid() })
        candidates << QStringLiteral("%1/.wine-%2/%3").arg(tmp_).arg(uid).arg(serverFolder);
    const QString recorded = recordedServerRoot(prefix);
    if (!recorded.isEmpty()) {
        // The file names the folder that holds the server folder (or, read liberally, that folder).
        candidates << (QFileInfo(recorded).fileName() == serverFolder ? recorded : QDir(recorded).filePath(serverFolder));
    }
    for (const QString& folder : candidates) {
        if (const long pid = lockHolder(QDir(folder).filePath(QStringLiteral("lock"))))
            return pid;
    }
    return 0;
}

} // namespace caltrix::hive
