#include "app/SingleInstance.h"

#include "hive/HiveLock.h"
#include "platform/Error.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace caltrix::app {

namespace {

// The running Caltrix handles the request inside its event loop, also in its designed waits,
// which process events: a second is plenty. The connection itself is local and immediate.
constexpr int ConnectWaitMs = 1000;
constexpr int AnswerWaitMs = 3000;
// How long a start waits for another start's check of the same stick.
constexpr std::chrono::milliseconds LockWait { 5000 };

const QByteArray RaiseRequest = QByteArrayLiteral("raise\n");
const QByteArray RaisedAnswer = QByteArrayLiteral("raised\n");

void warnUnguarded(const QString& why)
{
    std::fputs(qPrintable(QStringLiteral("caltrix: cannot make sure that no other Caltrix uses this stick (%1); "
                                         "starting all the same.\n")
                              .arg(why)),
        stderr);
}

} // namespace

QString StickOfThisStart()
{
    const QString value = qEnvironmentVariable("CALTRIX_ANT");
    return value.isEmpty() ? QStringLiteral("usb") : value;
}

QString InstanceSocketPath(const QString& stick)
{
    const QByteArray hash = QCryptographicHash::hash(stick.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/caltrix-")
        + QString::fromLatin1(hash);
}

void BringWindowsToFront()
{
    QWidgetList shown;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->windowType() != Qt::Popup && window->windowType() != Qt::ToolTip)
            shown.append(window);
    // Plain windows first, then those that stand over them (the wait notice stays on top); the
    // modal one last, on top of all.
    const auto rank = [](const QWidget* w) {
        if (w->isModal())
            return 3;
        if (w->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            return 2;
        return w->windowType() == Qt::Window ? 0 : 1;
    };
    std::stable_sort(shown.begin(), shown.end(), [&rank](const QWidget* a, const QWidget* b) { return rank(a) < rank(b); });
    for (QWidget* window : shown)
        window->raise();
    if (!shown.isEmpty())
        shown.last()->activateWindow();
}

SingleInstance::SingleInstance(QString stick, std::function<void()> bringToFront)
    : stick_(std::move(stick))
    , path_(InstanceSocketPath(stick_))
    , bringToFront_(std::move(bringToFront))
{
    QObject::connect(&server_, &QLocalServer::newConnection, &server_, [this] { answerRequests(); });
}

std::optional<CommandLineAnswer> SingleInstance::claim()
{
    // A kernel lock on "<socket>.lock", which dies with its holder: no start can be left waiting
    // by a killed one.
    std::optional<hive::HiveLock> lock;
    try {
        lock.emplace(path_, LockWait);
    } catch (const platform::Error& error) {
        const QString lockFile = path_ + QStringLiteral(".lock");
        const long holder = hive::lockHolder(lockFile);
        warnUnguarded(holder != 0 ? QStringLiteral("another start, process %1, holds %2").arg(holder).arg(lockFile)
                                  : error.message());
        return std::nullopt;
    }
    QLocalSocket running;
    running.connectToServer(path_);
    if (running.waitForConnected(ConnectWaitMs)) {
        lock.reset();
        return askToComeToFront(running);
    }
    // Nobody listens: the socket, if any, is a killed Caltrix's.
    QLocalServer::removeServer(path_);
    if (!listen())
        warnUnguarded(QStringLiteral("%1: %2").arg(path_, server_.errorString()));
    return std::nullopt;
}

bool SingleInstance::listen()
{
    // No socket options of its own: the runtime folder is the user's alone (mode 0700, which Qt
    // checks), and binding through a private folder, as the options do, costs the start time.
    return server_.listen(path_);
}

CommandLineAnswer SingleInstance::askToComeToFront(QLocalSocket& running) const
{
    bool answered = running.write(RaiseRequest) == RaiseRequest.size() && running.waitForBytesWritten(AnswerWaitMs);
    while (answered && !running.canReadLine())
        answered = running.waitForReadyRead(AnswerWaitMs);
    if (answered && running.readLine() == RaisedAnswer) {
        return CommandLineAnswer { QStringLiteral("caltrix: Caltrix is already running for this stick (%1); its window "
                                                  "was brought to the front.\n")
                                       .arg(stick_),
            0, true };
    }
    return CommandLineAnswer { QStringLiteral("caltrix: Caltrix is already running for this stick (%1), but it does not "
                                              "answer; close or end that Caltrix, then start it again.\n")
                                   .arg(stick_),
        1, true };
}

void SingleInstance::answerRequests()
{
    while (QLocalSocket* asking = server_.nextPendingConnection()) {
        QObject::connect(asking, &QLocalSocket::disconnected, asking, &QObject::deleteLater);
        QObject::connect(asking, &QLocalSocket::readyRead, asking, [this, asking] {
            // A request is one short line; anything longer is not from Caltrix.
            if (!asking->canReadLine() && asking->bytesAvailable() <= RaiseRequest.size())
                return;
            if (asking->readLine() == RaiseRequest) {
                if (bringToFront_)
                    bringToFront_();
                asking->write(RaisedAnswer);
            }
            asking->disconnectFromServer();
        });
    }
}

} // namespace caltrix::app
