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

// $TMPDIR when set to an absolute path, then /tmp: a Wine started with another TMPDIR than ours
// still made its folder in one of them in the usual case.
QStringList systemTemporaryFolders()
{
    QStringList folders;
    const QString tmpdir = qEnvironmentVariable("TMPDIR");
    if (QDir::isAbsolutePath(tmpdir))
        folders << QDir::cleanPath(tmpdir);
    if (!folders.contains(QStringLiteral("/tmp")))
        folders << QStringLiteral("/tmp");
    return folders;
}

// What the prefix's "wineserver" file records, without a trailing newline or NUL; empty if none.
QString recordedServerRoot(const QString& prefix)
{
    QFile file(QDir(prefix).filePath(QStringLiteral("wineserver")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray text = file.read(4096);
    if (const qsizetype nul = text.indexOf('\0'); nul >= 0)
        text.truncate(nul);
    return QFile::decodeName(text.trimmed());
}

// A bare folder name, to be found in a temporary folder. Anything else that is not an absolute
// path ("..", "a/b") is not followed: it would lead out of the temporary folder.
bool isBareName(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".")
        && name != QLatin1String("..");
}

} // namespace

WineServer::WineServer()
    : WineServer(systemTemporaryFolders())
{
}

WineServer::WineServer(QStringList temporaryFolders)
    : temporaryFolders_(std::move(temporaryFolders))
{
}

QStringList WineServer::serverFolderCandidates(const QString& prefix, const QString& serverFolder, uint prefixOwner) const
{
    QStringList candidates;
    // The prefix's owner runs its server; we may be another user (root, changing a user's prefix).
    for (const QString& tmp : temporaryFolders_) {
        for (const uid_t uid : QSet<uid_t> { prefixOwner, ::getuid() })
            candidates << QStringLiteral("%1/.wine-%2/%3").arg(tmp).arg(uid).arg(serverFolder);
    }
    const QString recorded = recordedServerRoot(prefix);
    if (QDir::isAbsolutePath(recorded)) {
        // The folder that holds the server folder or, read liberally, that folder itself.
        candidates << (QFileInfo(recorded).fileName() == serverFolder ? recorded : QDir(recorded).filePath(serverFolder));
    } else if (isBareName(recorded)) {
        for (const QString& tmp : temporaryFolders_)
            candidates << QStringLiteral("%1/%2/%3").arg(tmp, recorded, serverFolder);
    }
    return candidates;
}

long WineServer::runningFor(const QString& prefix) const
{
    struct stat st {};
    if (::stat(QFile::encodeName(prefix).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return 0;
    const QString serverFolder = QStringLiteral("server-%1-%2")
                                     .arg(static_cast<qulonglong>(st.st_dev), 0, 16)
                                     .arg(static_cast<qulonglong>(st.st_ino), 0, 16);
    for (const QString& folder : serverFolderCandidates(prefix, serverFolder, st.st_uid)) {
        if (const long pid = lockHolder(QDir(folder).filePath(QStringLiteral("lock"))))
            return pid;
    }
    return 0;
}

} // namespace caltrix::hive
