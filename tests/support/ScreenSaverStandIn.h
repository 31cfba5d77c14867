#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QVariantList>

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

namespace caltrix::test {

// The environment variable that the CTest entries running a test under dbus-run-session set: the
// session bus is then a private one, where a test may own the screen saver's name. Those tests
// skip themselves without it.
inline constexpr const char* PrivateBusVariable = "CALTRIX_TEST_PRIVATE_BUS";

inline bool onPrivateBus() { return qEnvironmentVariableIsSet(PrivateBusVariable); }

// The desktop's screen saver service (org.freedesktop.ScreenSaver), stood in for on the session
// bus: it records every call and answers Inhibit with the cookies 101, 102, ... It has a connection
// and a thread of its own, so that it answers while the main thread waits for it, as the real
// service does.
class ScreenSaverStandIn {
public:
    struct Call {
        QString method;
        QVariantList arguments;
        bool operator==(const Call&) const = default;
    };

    ScreenSaverStandIn()
    {
        service_->moveToThread(&thread_);
        thread_.start();
        registered_ = bus_.isConnected() && bus_.registerService(ServiceName)
            && bus_.registerVirtualObject(QStringLiteral("/org/freedesktop/ScreenSaver"), service_.get());
    }

    ~ScreenSaverStandIn()
    {
        bus_.unregisterObject(QStringLiteral("/org/freedesktop/ScreenSaver"));
        bus_.unregisterService(ServiceName);
        QDBusConnection::disconnectFromBus(ConnectionName);
        thread_.quit();
        thread_.wait();
    }

    ScreenSaverStandIn(const ScreenSaverStandIn&) = delete;
    ScreenSaverStandIn& operator=(const ScreenSaverStandIn&) = delete;

    // False when the name could not be taken (no session bus, or another owner).
    bool registered() const { return registered_; }

    std::vector<Call> calls() const { return service_->calls(); }

private:
    static inline const QString ServiceName = QStringLiteral("org.freedesktop.ScreenSaver");
    static inline const QString ConnectionName = QStringLiteral("caltrix-test-screen-saver");

    class Service final : public QDBusVirtualObject {
    public:
        QString introspect(const QString&) const override { return {}; }

        // Runs on the stand-in's thread.
        bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
        {
            QVariantList answer;
            {
                const QMutexLocker lock(&mutex_);
                calls_.push_back({ message.member(), message.arguments() });
                if (message.member() == QLatin1String("Inhibit"))
                    answer << QVariant::fromValue(nextCookie_++);
            }
            return connection.send(message.createReply(answer));
        }

        std::vector<Call> calls() const
        {
            const QMutexLocker lock(&mutex_);
            return calls_;
        }

    private:
        mutable QMutex mutex_; // guards the calls and the cookie: written on the stand-in's thread
        std::vector<Call> calls_;
        std::uint32_t nextCookie_ = 101;
    };

    QThread thread_;
    std::unique_ptr<Service> service_ = std::make_unique<Service>();
    QDBusConnection bus_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, ConnectionName);
    bool registered_ = false;
};

inline void PrintTo(const ScreenSaverStandIn::Call& call, std::ostream* os)
{
    *os << call.method.toStdString() << '(';
    for (qsizetype i = 0; i < call.arguments.size(); ++i)
        *os << (i ? ", " : "") << call.arguments[i].toString().toStdString();
    *os << ')';
}

} // namespace caltrix::test
