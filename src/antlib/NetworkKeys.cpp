#include "antlib/NetworkKeys.h"

#include "platform/Error.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cctype>

namespace caltrix::antlib {

namespace {
// The ANT+ managed network key, as every open ANT stack ships it: ANT+ devices answer only on it.
constexpr NetworkKeyBytes AntPlusKey { 0xB9, 0xA5, 0x21, 0xFB, 0xBD, 0x72, 0xC3, 0x45 };
// Our own trainer network. Set CALTRIX_ANT_KEY_B to the key a trainer of this kind really uses.
constexpr NetworkKeyBytes OwnKey { 0x43, 0x61, 0x6C, 0x74, 0x72, 0x69, 0x78, 0x31 };

NetworkKeyBytes keyFromEnvironment(const char* variable, const NetworkKeyBytes& fallback)
{
    const QByteArray value = qgetenv(variable).trimmed();
    if (value.isEmpty())
        return fallback;
    bool valid = value.size() == 16;
    for (char c : value)
        valid = valid && std::isxdigit(static_cast<unsigned char>(c));
    if (!valid)
        throw platform::Error(QString("%1 must be 16 hexadecimal digits (the 8 key bytes, first byte first), "
                                      "but it is \"%2\". Correct or unset it.")
                                  .arg(variable, QString::fromLocal8Bit(value)));
    const QByteArray bytes = QByteArray::fromHex(value);
    NetworkKeyBytes key {};
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return key;
}
} // namespace

NetworkKeyBytes defaultNetworkKeyA() { return AntPlusKey; }
NetworkKeyBytes defaultNetworkKeyB() { return OwnKey; }
NetworkKeyBytes networkKeyA() { return keyFromEnvironment("CALTRIX_ANT_KEY_A", AntPlusKey); }
NetworkKeyBytes networkKeyB() { return keyFromEnvironment("CALTRIX_ANT_KEY_B", OwnKey); }

} // namespace caltrix::antlib
