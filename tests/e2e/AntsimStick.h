#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace caltrix::e2e {

// Starts antsim (its serial stick on a pseudo-terminal, the simulated trainer behind it) and gives
// the path of its terminal; empty when antsim did not start. `more` are further antsim options.
QString startAntsim(QProcess& antsim, const QStringList& more = {});
// Ends antsim, also while it is stopped (SIGSTOP).
void endAntsim(QProcess& antsim);

} // namespace caltrix::e2e
