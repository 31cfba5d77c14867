#include "hive/HiveValue.h"

#include <QtGlobal>

namespace caltrix::hive {

// QString holds UTF-16 in the machine's byte order, which is little-endian on every machine we
// build for.
QByteArray utf16le(const QString& text)
{
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "hive strings are copied as little-endian UTF-16");
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), (text.size() + 1) * 2);
}

QString fromUtf16le(const QByteArray& data, bool stopAtNul)
{
    QString text;
    text.reserve(data.size() / 2);
    for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(data[i])
            | (static_cast<unsigned char>(data[i + 1]) << 8));
        if (unit == 0 && stopAtNul)
            break;
        text += QChar(unit);
    }
    return text;
}

HiveValue HiveValue::string(const QString& name, const QString& text, std::uint32_t type)
{
    return HiveValue { name, type, utf16le(text) };
}

QString HiveValue::text() const { return fromUtf16le(data, true); }

} // namespace caltrix::hive
