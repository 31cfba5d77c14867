#include "hive/HiveSyntax.h"

namespace caltrix::hive::syntax {

namespace {

// Wine breaks hex data lines once they are longer than this.
constexpr int HexLineLimit = 76;

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}

bool isOctalDigit(char16_t c) { return c >= '0' && c <= '7'; }

// Control characters Wine writes as C escapes; '.' marks those written in octal.
constexpr char ControlEscapes[] = ".......abtnvfr.............e....";

char16_t controlFromEscape(char e)
{
    for (int i = 0; i < 32; ++i) {
        if (ControlEscapes[i] == e)
            return static_cast<char16_t>(i);
    }
    return 0xFFFF;
}

// Decodes one UTF-8 sequence at `p` (a byte >= 0x80) into `out`; a malformed sequence is taken as
// one Latin-1 byte. Writes at most as many units as it reads bytes. Returns the position after the
// bytes used.
const char* putNonAscii(const char* p, const char* end, char16_t*& out)
{
    const auto lead = static_cast<unsigned char>(*p);
    const int length = lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length > 0 && end - p >= length) {
        bool valid = true;
        for (int i = 1; i < length; ++i)
            valid = valid && (static_cast<unsigned char>(p[i]) & 0xC0) == 0x80;
        if (valid) {
            const QString decoded = QString::fromUtf8(p, length);
            if (!decoded.contains(QChar::ReplacementCharacter)) {
                for (const QChar c : decoded)
                    *out++ = c.unicode();
                return p + length;
            }
        }
    }
    *out++ = lead;
    return p + 1;
}

// One text buffer per thread for text on its way elsewhere: reading a value allocates only what
// the value keeps.
QString& scratch()
{
    thread_local QString buffer;
    return buffer;
}

bool isStringType(std::uint32_t type)
{
    return type == RegType::String || type == RegType::ExpandString || type == RegType::MultiString;
}

// Reads a hex number such as the N of "hex(N):"; false when there is none.
bool readHexNumber(const char*& p, const char* end, std::uint32_t& value)
{
    const char* start = p;
    std::uint64_t v = 0;
    while (p < end && isHexDigit(*p) && p - start < 8)
        v = v * 16 + static_cast<unsigned>(hexValue(*p++));
    value = static_cast<std::uint32_t>(v);
    return p > start && (p >= end || !isHexDigit(*p));
}

// Reads hex bytes "xx,xx,..." from `p`, following "\" continuation lines through `reader`.
bool readHexBytes(const char* p, Line line, Reader& reader, QByteArray& data)
{
    for (;;) {
        p = skipBlanks(p, line.end);
        if (p >= line.end)
            return true;
        if (*p == '\\' && skipBlanks(p + 1, line.end) == line.end) {
            reader.advance(line);
            if (reader.atEnd())
                return false;
            line = reader.peek();
            p = line.begin;
            continue;
        }
        if (*p == ',') {
            ++p;
            continue;
        }
        if (!isHexDigit(*p))
            return false;
        int byte = hexValue(*p++);
        if (p < line.end && isHexDigit(*p))
            byte = byte * 16 + hexValue(*p++);
        data += static_cast<char>(byte);
    }
}

} // namespace

const char* unescape(const char* p, const char* end, char endChar, QString& out)
{
    // Every character takes at least one byte of the file, so the bytes left are room enough;
    // writing into the buffer directly spares a QString append for each piece.
    out.resize(end - p); // keeps the buffer of a reused string
    char16_t* const begin = reinterpret_cast<char16_t*>(out.data());
    char16_t* d = begin;
    const char* after = nullptr;
    while (p < end) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == static_cast<unsigned char>(endChar)) {
            after = p + 1;
            break;
        }
        if (c >= 0x80) {
            p = putNonAscii(p, end, d);
            continue;
        }
        if (c != '\\') {
            *d++ = c;
            ++p;
            continue;
        }
        if (p + 1 >= end)
            break;
        const char e = p[1];
        p += 2;
        if (e == 'x') {
            unsigned value = 0;
            int digits = 0;
            for (; digits < 4 && p < end && isHexDigit(*p); ++digits)
                value = value * 16 + static_cast<unsigned>(hexValue(*p++));
            *d++ = digits ? static_cast<char16_t>(value) : u'x';
        } else if (e >= '0' && e <= '7') {
            unsigned value = static_cast<unsigned>(e - '0');
            for (int digits = 1; digits < 3 && p < end && *p >= '0' && *p <= '7'; ++digits)
                value = value * 8 + static_cast<unsigned>(*p++ - '0');
            *d++ = static_cast<char16_t>(value);
        } else if (const char16_t control = controlFromEscape(e); control != 0xFFFF && e != '.') {
            *d++ = control;
        } else if (static_cast<unsigned char>(e) >= 0x80) {
            p = putNonAscii(p - 1, end, d);
        } else {
            *d++ = static_cast<char16_t>(e);
        }
    }
    out.truncate(d - begin);
    return after;
}

int appendEscaped(QByteArray& out, const QString& text, char quote1, char quote2)
{
    const auto before = out.size();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        const char16_t next = i + 1 < n ? text[i + 1].unicode() : 0;
        if (c > 127) {
            const bool nextIsHex = next < 128 && isHexDigit(static_cast<char>(next));
            out += "\\x";
            out += QByteArray::number(c, 16).rightJustified(nextIsHex ? 4 : 1, '0');
        } else if (c < 32) {
            out += '\\';
            if (ControlEscapes[c] != '.')
                out += ControlEscapes[c];
            else
                out += QByteArray::number(c, 8).rightJustified(isOctalDigit(next) ? 3 : 1, '0');
        } else {
            if (c == '\\' || c == quote1 || c == quote2)
                out += '\\';
            out += static_cast<char>(c);
        }
    }
    return static_cast<int>(out.size() - before);
}

QByteArray formatValue(const HiveValue& value)
{
    QByteArray out;
    int count = 0;
    if (value.name.isEmpty()) {
        out += "@=";
        count = 2;
    } else {
        out += '"';
        count = 1 + appendEscaped(out, value.name, '"', '"');
        out += "\"=";
        count += 2;
    }
    const auto& data = value.data;
    const bool terminated = data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 1] == 0
        && data[data.size() - 2] == 0;
    if (isStringType(value.type) && terminated) {
        if (value.type != RegType::String)
            out += "str(" + QByteArray::number(value.type, 16) + "):";
        out += '"';
        appendEscaped(out, fromUtf16le(data.left(data.size() - 2), false), '"', '"');
        out += '"';
        return out;
    }
    if (value.type == RegType::DWord && data.size() == 4) {
        std::uint32_t dword = 0;
        for (int i = 3; i >= 0; --i)
            dword = (dword << 8) | static_cast<unsigned char>(data[i]);
        out += "dword:" + QByteArray::number(dword, 16).rightJustified(8, '0');
        return out;
    }
    const QByteArray prefix
        = value.type == RegType::Binary ? QByteArray("hex:") : "hex(" + QByteArray::number(value.type, 16) + "):";
    out += prefix;
    count += static_cast<int>(prefix.size());
    for (qsizetype i = 0; i < data.size(); ++i) {
        out += QByteArray::number(static_cast<unsigned char>(data[i]), 16).rightJustified(2, '0');
        count += 2;
        if (i < data.size() - 1) {
            out += ',';
            if (++count > HexLineLimit) {
                out += "\\\n  ";
                count = 2;
            }
        }
    }
    return out;
}

std::size_t countValueLines(Reader reader)
{
    std::size_t count = 0;
    while (!reader.atEnd()) {
        const Line line = reader.peek();
        reader.advance(line);
        count += startsValue(withoutIndent(line)) ? 1 : 0;
    }
    return count;
}

const char* readValueName(const Line& line, QStringView& name)
{
    const char* p = line.begin;
    if (p >= line.end)
        return nullptr;
    if (*p == '@') {
        name = {};
        p = p + 1;
    } else if (*p == '"') {
        QString& text = scratch();
        p = unescape(p + 1, line.end, '"', text);
        name = text;
    } else {
        return nullptr;
    }
    if (!p)
        return nullptr;
    p = skipBlanks(p, line.end);
    return p < line.end && *p == '=' ? skipBlanks(p + 1, line.end) : nullptr;
}

bool readValue(Line line, Reader& reader, HiveValue& value)
{
    QStringView name;
    const char* p = readValueName(line, name);
    if (!p)
        return false;
    // A copy of its own, without the room the scratch buffer keeps for the rest of the line.
    value.name = name.toString();
    const char* end = line.end;
    value.type = RegType::String;
    if (startsWith(p, end, "str(")) {
        p += 4;
        if (!readHexNumber(p, end, value.type) || !startsWith(p, end, "):"))
            return false;
        p += 2;
    }
    if (p < end && *p == '"') {
        QString& text = scratch();
        p = unescape(p + 1, end, '"', text);
        if (!p || skipBlanks(p, end) != end)
            return false;
        value.data = utf16le(text);
        return true;
    }
    if (value.type != RegType::String)
        return false;
    if (startsWith(p, end, "dword:")) {
        p += 6;
        std::uint32_t dword = 0;
        if (!readHexNumber(p, end, dword) || skipBlanks(p, end) != end)
            return false;
        value.type = RegType::DWord;
        value.data.clear();
        for (int i = 0; i < 4; ++i)
            value.data += static_cast<char>((dword >> (8 * i)) & 0xFF);
        return true;
    }
    if (startsWith(p, end, "hex:")) {
        value.type = RegType::Binary;
        p += 4;
    } else if (startsWith(p, end, "hex(")) {
        p += 4;
        if (!readHexNumber(p, end, value.type) || !startsWith(p, end, "):"))
            return false;
        p += 2;
    } else {
        return false;
    }
    value.data.clear();
    value.data.reserve((line.end - p) / 3 + 1);
    return readHexBytes(p, line, reader, value.data);
}

} // namespace caltrix::hive::syntax
