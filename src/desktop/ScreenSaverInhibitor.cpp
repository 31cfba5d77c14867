#include "desktop/ScreenSaverInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <utility>

namespace caltrix::desktop {

namespace {

const QString Service = QStringLiteral("org.freedesktop.ScreenSaver");
const QString Path = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString Interface = QStringLiteral("org.freedesktop.ScreenSaver");

QDBusPendingCall callScreenSaver(const QString& method, const QList<QVariant>& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().asyncCall(call, ScreenSaverInhibitor::BusAnswerMs);
}

} // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(QString applicationName)
    : applicationName_(std::move(applicationName))
{
}

ScreenSaverInhibitor::~ScreenSaverInhibitor()
{
    wanted_ = false;
    if (inhibiting_) {
        // A hold still on its way: its cookie is needed for the release, now.
        inhibiting_->disconnect();
        QDBusPendingCall answer = *inhibiting_;
        answer.waitForFinished();
        inhibitAnswered(answer);
    }
    release();
    for (QDBusPendingCall& call : releasing_)
        call.waitForFinished();
}

void ScreenSaverInhibitor::hold(const QString& reason)
{
    wanted_ = true;
    if (cookie_ || inhibiting_)
        return;
    // Without a session bus (a console, a bare X server) there is nobody to ask.
    if (!QDBusConnection::sessionBus().isConnected())
        return;
    answered_.reset();
    inhibiting_ = std::make_unique<QDBusPendingCallWatcher>(
        callScreenSaver(QStringLiteral("Inhibit"), { applicationName_, reason }));
    QObject::connect(inhibiting_.get(), &QDBusPendingCallWatcher::finished, inhibiting_.get(), [this] {
        answered_ = std::move(inhibiting_);
        inhibitAnswered(*answered_);
    });
}

void ScreenSaverInhibitor::release()
{
    wanted_ = false;
    if (cookie_)
        unInhibit(*std::exchange(cookie_, std::nullopt));
}

void ScreenSaverInhibitor::inhibitAnswered(const QDBusPendingCall& answer)
{
    const QDBusPendingReply<std::uint32_t> reply = answer;
    // An error answer (no such service, a refusal, no answer in time) leaves the screen to the
    // desktop.
    if (reply.isError())
        return;
    cookie_ = reply.value();
    if (!wanted_)
        release();
}

void ScreenSaverInhibitor::unInhibit(std::uint32_t cookie)
{
    std::erase_if(releasing_, [](const QDBusPendingCall& call) { return call.isFinished(); });
    releasing_.push_back(callScreenSaver(QStringLiteral("UnInhibit"), { cookie }));
}

} // namespace caltrix::desktop
