#pragma once

#include "X11Session.h"

#include <QProcess>
#include <QStringList>

#include <csignal>

namespace caltrix::e2e {

// antsim's serial stick with every message in and out printed on its standard error (-v): "->"
// from the host ("-> CloseChannel [01]", "-> ResetSystem [00]"), "<-" to it. Its standard output
// keeps its one-line reports ("resistance level 3"), read with waitForLine.
class VerboseAntsim {
public:
    ~VerboseAntsim()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(PatienceMs);
        }
    }

    // Starts antsim with `arguments` and gives the path of its terminal (empty when it failed).
    QString start(const QStringList& arguments = {})
    {
        process.start(QStringLiteral(ANTSIM_PATH), QStringList { QStringLiteral("-v") } + arguments);
        if (!process.waitForStarted(PatienceMs) || !waitUntil([&] { return process.waitForReadyRead(100) || process.canReadLine(); }))
            return {};
        return QString::fromLocal8Bit(process.readLine()).trimmed();
    }

    // The messages printed so far.
    const QString& messages()
    {
        messages_ += QString::fromLocal8Bit(process.readAllStandardError());
        return messages_;
    }

    // How many messages from the host begin with `name` ("ResetSystem", "CloseChannel [01]"), from
    // position `from` of the messages on.
    qsizetype fromHost(const QString& name, qsizetype from = 0)
    {
        return messages().mid(from).count(QStringLiteral("-> ") + name);
    }

    // Waits until `count` messages from the host named `name` arrived after position `from`.
    bool waitFromHost(const QString& name, qsizetype from = 0, qsizetype count = 1)
    {
        return waitUntil([&] { return fromHost(name, from) >= count; });
    }

    QProcess process;

private:
    QString messages_;
};

} // namespace caltrix::e2e
