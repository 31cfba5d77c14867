#include "AntsimStick.h"

#include "X11Session.h"

#include <csignal>

namespace caltrix::e2e {

QString startAntsim(QProcess& antsim, const QStringList& more)
{
    antsim.start(QStringLiteral(ANTSIM_PATH), QStringList { QStringLiteral("--seed"), QStringLiteral("7") } + more);
    if (!antsim.waitForStarted(PatienceMs)
        || !waitUntil([&] { return antsim.waitForReadyRead(100) || antsim.canReadLine(); }))
        return {};
    return QString::fromLocal8Bit(antsim.readLine()).trimmed();
}

void endAntsim(QProcess& antsim)
{
    if (antsim.state() == QProcess::NotRunning)
        return;
    ::kill(static_cast<pid_t>(antsim.processId()), SIGCONT);
    antsim.kill();
    antsim.waitForFinished(PatienceMs);
}

} // namespace caltrix::e2e
