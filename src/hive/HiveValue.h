#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace caltrix::hive {

// Value types as the registry numbers them (the N of "hex(N):" in the file).
namespace RegType {
constexpr std::uint32_t None = 0;
constexpr std::uint32_t String = 1; // REG_SZ
constexpr std::uint32_t ExpandString = 2; // REG_EXPAND_SZ
constexpr std::uint32_t Binary = 3; // REG_BINARY
constexpr std::uint32_t DWord = 4; // REG_DWORD, little-endian
constexpr std::uint32_t MultiString = 7; // REG_MULTI_SZ
} // namespace RegType

// One named value of a key.
struct HiveValue {
    QString name; // empty: the key's default value, written "@"
    std::uint32_t type = RegType::String;
    // The bytes as the registry hands them out: strings are UTF-16LE with their terminating NUL.
    QByteArray data;

    // A string value (REG_SZ unless another string type is given).
    static HiveValue string(const QString& name, const QString& text, std::uint32_t type = RegType::String);
    // REG_SZ or REG_EXPAND_SZ: the types that read as text.
    bool isText() const { return type == RegType::String || type == RegType::ExpandString; }
    // The data as UTF-16 text up to the first NUL, whatever the type.
    QString text() const;
    bool operator==(const HiveValue&) const = default;
};

// The text with its terminating NUL as UTF-16LE bytes, as the registry holds a string.
QByteArray utf16le(const QString& text);
// UTF-16LE bytes as text: up to the first NUL when `stopAtNul`, else all of them.
QString fromUtf16le(const QByteArray& data, bool stopAtNul);

} // namespace caltrix::hive
