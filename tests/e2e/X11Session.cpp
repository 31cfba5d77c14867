#include "X11Session.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>

namespace caltrix::e2e {

namespace {
constexpr int PollMs = 25;
constexpr int ToolBoundMs = 10'000;
} // namespace

bool waitUntil(const std::function<bool()>& done, int boundMs)
{
    const QDeadlineTimer deadline(boundMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        // Events of this process go on meanwhile (a simulated stick here may have to answer).
        QEventLoop pause;
        QTimer::singleShot(PollMs, &pause, &QEventLoop::quit);
        pause.exec();
    }
    return true;
}

XSession::XSession()
{
    // -displayfd 1: the server picks a free display number and writes it on its standard output
    // once it accepts connections. -noreset: a desktop's server keeps running between clients;
    // without it, Xvfb resets (some 60 ms) each time its last client leaves, and a program
    // connecting meanwhile waits for that, so each short xdotool call would delay the next client.
    server_.start(QStringLiteral("Xvfb"), { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
        QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
        QStringLiteral("tcp") });
    if (!server_.waitForStarted(ToolBoundMs))
        return;
    QByteArray number;
    while (!number.contains('\n') && server_.waitForReadyRead(ToolBoundMs))
        number += server_.readAllStandardOutput();
    if (number.contains('\n'))
        display_ = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
}

XSession::~XSession() { endServer(server_, ToolBoundMs); }

QProcessEnvironment programEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_SCALE_FACTOR"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    return env;
}

void endServer(QProcess& server, int boundMs)
{
    if (server.state() == QProcess::NotRunning)
        return;
    server.terminate();
    if (!server.waitForFinished(boundMs))
        server.kill();
    server.waitForFinished(boundMs);
}

QProcessEnvironment XSession::environment() const
{
    QProcessEnvironment env = programEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

QString XSession::run(const QString& program, const QStringList& arguments) const
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    tool.setProcessEnvironment(env);
    tool.start(program, arguments);
    if (!tool.waitForFinished(ToolBoundMs)) {
        tool.kill();
        tool.waitForFinished(ToolBoundMs);
        return {};
    }
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

QStringList XSession::visibleWindows(const QString& name) const
{
    // By class, then by name: a window without a title of its own (a message box) has its name
    // only in _NET_WM_NAME, which `xdotool search --name` does not look at and getwindowname does.
    const QStringList all = run(QStringLiteral("xdotool"), { QStringLiteral("search"), QStringLiteral("--onlyvisible"),
        QStringLiteral("--class"), QStringLiteral("caltrix") }).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QRegularExpression wanted(name);
    QStringList matching;
    for (const QString& window : all) {
        if (wanted.match(run(QStringLiteral("xdotool"), { QStringLiteral("getwindowname"), window }).trimmed()).hasMatch())
            matching << window;
    }
    return matching;
}

std::optional<QString> XSession::waitForWindowId(const QString& name, int boundMs) const
{
    QStringList windows;
    if (!waitUntil([&] { return !(windows = visibleWindows(name)).isEmpty(); }, boundMs))
        return std::nullopt;
    return windows.first();
}

std::optional<QRect> XSession::waitForWindow(const QString& name, int boundMs) const
{
    const auto window = waitForWindowId(name, boundMs);
    if (!window)
        return std::nullopt;
    return area(*window);
}

QRect XSession::area(const QString& window) const
{
    // "WINDOW=…\nX=…\nY=…\nWIDTH=…\nHEIGHT=…\nSCREEN=…"
    const QString shell = run(QStringLiteral("xdotool"), { QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window });
    QRect area;
    for (const QString& line : shell.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        const int value = line.section(QLatin1Char('='), 1).toInt();
        if (key == QLatin1String("X"))
            area.moveLeft(value);
        else if (key == QLatin1String("Y"))
            area.moveTop(value);
        else if (key == QLatin1String("WIDTH"))
            area.setWidth(value);
        else if (key == QLatin1String("HEIGHT"))
            area.setHeight(value);
    }
    return area;
}

bool XSession::waitUntilClosed(const QString& window, int boundMs) const
{
    return waitUntil([&] { return !visibleWindows(QStringLiteral(".*")).contains(window); }, boundMs);
}

bool XSession::waitUntilGone(const QString& name, int boundMs) const
{
    return waitUntil([&] { return visibleWindows(name).isEmpty(); }, boundMs);
}

void XSession::click(const QPoint& at) const
{
    run(QStringLiteral("xdotool"), { QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()),
        QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1") });
}

void XSession::pressKey(const QString& key) const { run(QStringLiteral("xdotool"), { QStringLiteral("key"), key }); }

QImage XSession::grab(const QRect& area) const
{
    QProcess import;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    import.setProcessEnvironment(env);
    import.start(QStringLiteral("import"),
        { QStringLiteral("-silent"), QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-") });
    if (!import.waitForFinished(ToolBoundMs))
        return {};
    const QImage screen = QImage::fromData(import.readAllStandardOutput(), "PNG");
    return screen.copy(area).convertToFormat(QImage::Format_RGB32);
}

bool waitForLine(QProcess& program, const QString& line, int boundMs)
{
    const QDeadlineTimer deadline(boundMs);
    for (;;) {
        while (program.canReadLine()) {
            if (QString::fromLocal8Bit(program.readLine()).trimmed() == line)
                return true;
        }
        if (program.state() == QProcess::NotRunning || deadline.hasExpired())
            return false;
        program.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    }
}

} // namespace caltrix::e2e
