#include "WestonSession.h"

#include "X11Session.h"

#include <QFileInfo>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace caltrix::e2e {

namespace {
const QString SocketName = QStringLiteral("caltrix-test");
const QString Report = QStringLiteral("seat: ");
constexpr int StartBoundMs = 20'000;

QString waylandPlugin()
{
    return QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqwayland-generic.so");
}
} // namespace

QString WestonSession::missingPart()
{
    if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty())
        return QStringLiteral("Weston is not installed (scripts/install-deps installs the package weston)");
    if (!QFileInfo::exists(waylandPlugin()))
        return QStringLiteral(
            "Qt's Wayland platform plugin is not installed (scripts/install-deps installs qt6-wayland)");
    if (QStringLiteral(WESTON_TEST_SEAT_PATH).isEmpty())
        return QStringLiteral("the test seat for Weston was not built: libweston-10-dev was missing at configure time "
                              "(scripts/install-deps installs it)");
    return {};
}

WestonSession::WestonSession()
{
    // Weston's socket goes into the runtime folder, which must be the user's alone (QTemporaryDir
    // makes it with mode 0700).
    if (!missingPart().isEmpty() || !runtime_.isValid())
        return;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    weston_.setProcessEnvironment(env);
    weston_.start(QStringLiteral("weston"),
        { QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--socket=") + SocketName,
            QStringLiteral("--idle-time=0"), QStringLiteral("--no-config"),
            QStringLiteral("--modules=") + QStringLiteral(WESTON_TEST_SEAT_PATH) });
    // The seat is ready once Weston listens on its socket: it loads its modules after that.
    running_ = weston_.waitForStarted(StartBoundMs)
        && waitUntil(
            [&] {
                readReports();
                return log_.contains(Report + QStringLiteral("ready")) || weston_.state() == QProcess::NotRunning;
            },
            StartBoundMs)
        && weston_.state() == QProcess::Running;
}

WestonSession::~WestonSession() { endServer(weston_, StartBoundMs); }

QProcessEnvironment WestonSession::environment() const
{
    QProcessEnvironment env = programEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), SocketName);
    env.remove(QStringLiteral("DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    return env;
}

void WestonSession::readReports()
{
    while (weston_.canReadLine()) {
        const QString line = QString::fromLocal8Bit(weston_.readLine()).trimmed();
        log_ += line + QLatin1Char('\n');
        if (!line.startsWith(Report))
            continue;
        const QString said = line.mid(Report.size());
        if (said.startsWith(QStringLiteral("focus"))) {
            focus_ = said.mid(5).trimmed();
            focusHistory_ << focus_;
        } else {
            answers_ << said;
        }
    }
}

bool WestonSession::waitForFocus(const QString& title, int boundMs)
{
    const QRegularExpression wanted(title);
    return waitUntil(
        [&] {
            readReports();
            return wanted.match(focus_).hasMatch();
        },
        boundMs);
}

void WestonSession::send(const QByteArray& command)
{
    weston_.write(command + '\n');
    weston_.waitForBytesWritten(StartBoundMs);
}

void WestonSession::pressKey(int code)
{
    send("key " + QByteArray::number(code));
}

void WestonSession::closeFocusedWindow()
{
    send("close");
}

std::optional<QString> WestonSession::ask(const QByteArray& command, const QString& answer)
{
    readReports();
    answers_.clear();
    send(command);
    if (!waitUntil(
            [&] {
                readReports();
                return !answers_.isEmpty();
            },
            StartBoundMs)
        || !answers_.first().startsWith(answer))
        return std::nullopt;
    return answers_.takeFirst().mid(answer.size()).trimmed();
}

std::optional<QPoint> WestonSession::focusedWindowPlace()
{
    const auto place = ask("where", QStringLiteral("window "));
    if (!place)
        return std::nullopt;
    return QPoint(place->section(QLatin1Char(' '), 0, 0).toInt(), place->section(QLatin1Char(' '), 1, 1).toInt());
}

void WestonSession::movePointer(const QPoint& at)
{
    send("pointer " + QByteArray::number(at.x()) + ' ' + QByteArray::number(at.y()));
}

void WestonSession::pressButton()
{
    send("button down");
}

void WestonSession::releaseButton()
{
    send("button up");
}

bool WestonSession::pointerHeld()
{
    return ask("grab", QStringLiteral("grab ")) == QStringLiteral("yes");
}

QString WestonSession::log()
{
    readReports();
    return log_ + QString::fromLocal8Bit(weston_.readAllStandardError());
}

} // namespace caltrix::e2e
