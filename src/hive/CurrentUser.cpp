#include "hive/CurrentUser.h"

#include <QDir>

namespace caltrix::hive {

namespace {
// Set only from the main thread (program start, tools and tests).
Hive* current = nullptr;
} // namespace

QString defaultUserHivePath()
{
    const QString named = qEnvironmentVariable("CALTRIX_REGISTRY");
    if (!named.isEmpty())
        return named;
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.isEmpty())
        prefix = QDir::homePath() + QStringLiteral("/.wine");
    return QDir(prefix).filePath(QStringLiteral("user.reg"));
}

Hive& currentUser()
{
    if (!current) {
        static Hive user(defaultUserHivePath());
        current = &user;
    }
    return *current;
}

ScopedCurrentUser::ScopedCurrentUser(Hive& hive)
    : previous_(current)
{
    current = &hive;
}

ScopedCurrentUser::~ScopedCurrentUser() { current = previous_; }

} // namespace caltrix::hive
