#include "hive/HiveDocument.h"

#include "hive/HiveError.h"
#include "hive/HiveSyntax.h"

#include <algorithm>
#include <cstring>

namespace caltrix::hive {

using syntax::Line;
using syntax::Reader;

namespace {

constexpr char Signature[] = "WINE REGISTRY Version 2";
// What Wine writes at the top of a user hive it creates.
constexpr char NewHivePreamble[] = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n";
// Seconds between the FILETIME epoch (1601) and the Unix epoch.
constexpr std::int64_t FileTimeEpochOffset = 11644473600LL;
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
// one Latin-1 byte. Returns the position after the bytes used.
const char* appendNonAscii(const char* p, const char* end, QString& out)
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
                out += decoded;
                return p + length;
            }
        }
    }
    out += QChar(static_cast<char16_t>(lead));
    return p + 1;
}

// Reads Wine's escaped text from `p` up to the unescaped `endChar`. Returns the position after
// `endChar`, or nullptr when the line ends first.
const char* unescape(const char* p, const char* end, char endChar, QString& out)
{
    out.clear();
    while (p < end) {
        const char* run = p;
        while (p < end && *p != endChar && *p != '\\' && static_cast<unsigned char>(*p) < 0x80)
            ++p;
        if (p > run)
            out += QLatin1StringView(run, p - run);
        if (p >= end)
            return nullptr;
        if (*p == endChar)
            return p + 1;
        if (static_cast<unsigned char>(*p) >= 0x80) {
            p = appendNonAscii(p, end, out);
            continue;
        }
        // A backslash escape.
        if (p + 1 >= end)
            return nullptr;
        const char e = p[1];
        p += 2;
        if (e == 'x') {
            unsigned value = 0;
            int digits = 0;
            for (; digits < 4 && p < end && isHexDigit(*p); ++digits)
                value = value * 16 + static_cast<unsigned>(hexValue(*p++));
            out += digits ? QChar(static_cast<char16_t>(value)) : QChar(u'x');
        } else if (e >= '0' && e <= '7') {
            unsigned value = static_cast<unsigned>(e - '0');
            for (int digits = 1; digits < 3 && p < end && *p >= '0' && *p <= '7'; ++digits)
                value = value * 8 + static_cast<unsigned>(*p++ - '0');
            out += QChar(static_cast<char16_t>(value));
        } else if (const char16_t control = controlFromEscape(e); control != 0xFFFF && e != '.') {
            out += QChar(control);
        } else if (static_cast<unsigned char>(e) >= 0x80) {
            p = appendNonAscii(p - 1, end, out);
        } else {
            out += QLatin1Char(e);
        }
    }
    return nullptr;
}

// Writes `text` as Wine does: ASCII as it is, other characters as \x escapes, control
// characters as C or octal escapes, a backslash before '\' and before the two given quotes.
// Returns the number of bytes written.
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

// The text with its terminating NUL as UTF-16LE bytes: QString holds UTF-16 in the machine's byte
// order, which is little-endian on every machine we build for.
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

bool isStringType(std::uint32_t type)
{
    return type == RegType::String || type == RegType::ExpandString || type == RegType::MultiString;
}

// Wine's text for one value, without the newline.
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

QByteArray fileTimeHex(std::int64_t unixSeconds)
{
    const auto fileTime = static_cast<std::uint64_t>(unixSeconds + FileTimeEpochOffset) * 10000000ULL;
    return QByteArray::number(static_cast<unsigned>(fileTime >> 32), 16)
        + QByteArray::number(static_cast<unsigned>(fileTime & 0xFFFFFFFFU), 16).rightJustified(8, '0');
}

// Orders paths component by component, without regard to case (folded paths).
bool foldedPathLess(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const QChar x = a[i];
        const QChar y = b[i];
        if (x == y)
            continue;
        if (x == u'\\')
            return true;
        if (y == u'\\')
            return false;
        return x < y;
    }
    return a.size() < b.size();
}

const char* skipBlanks(const char* p, const char* end)
{
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
    return p;
}

bool startsWith(const char* p, const char* end, const char* text)
{
    const auto n = std::strlen(text);
    return static_cast<std::size_t>(end - p) >= n && std::memcmp(p, text, n) == 0;
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

// Parses "[path] time"; false for a line without the closing bracket.
bool readKeyLine(const Line& line, QString& path)
{
    return unescape(line.begin + 1, line.end, ']', path) != nullptr;
}

QByteArray bytesOf(const char* begin, const char* end) { return QByteArray(begin, end - begin); }

// Keys with fewer values than this are searched one by one; beyond it a hash index pays off.
constexpr std::size_t IndexedFrom = 16;

// A hash of the name that is the same for every name QString::compare(Qt::CaseInsensitive) finds
// equal: code points are case-folded one by one, and a lone surrogate counts as U+FFFD as it does
// there.
std::size_t foldedNameHash(QStringView name)
{
    std::size_t hash = 14695981039346656037ULL;
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = name[i].unicode();
        if (c < 0x80) {
            if (c >= 'A' && c <= 'Z')
                c += 'a' - 'A';
        } else {
            if (QChar::isSurrogate(c)) {
                if (QChar::isHighSurrogate(c) && i + 1 < n && name[i + 1].isLowSurrogate())
                    c = QChar::surrogateToUcs4(static_cast<char16_t>(c), name[++i].unicode());
                else
                    c = QChar::ReplacementCharacter;
            }
            c = QChar::toCaseFolded(c);
        }
        hash = (hash ^ c) * 1099511628211ULL;
    }
    return hash;
}

bool sameName(const QString& a, QStringView b) { return QStringView(a).compare(b, Qt::CaseInsensitive) == 0; }

// The path without leading and trailing backslashes.
QStringView trimBackslashes(QStringView path)
{
    while (path.startsWith(u'\\'))
        path = path.mid(1);
    while (path.endsWith(u'\\'))
        path.chop(1);
    return path;
}

// A path with an empty component cannot be named; such a section is kept as text only.
bool isUsablePath(const QString& path) { return !trimBackslashes(path).contains(QLatin1String("\\\\")); }

} // namespace

namespace syntax {

const char* readValueName(const Line& line, QString& name)
{
    const char* p = line.begin;
    if (p >= line.end)
        return nullptr;
    if (*p == '@') {
        name.clear();
        p = p + 1;
    } else if (*p == '"') {
        p = unescape(p + 1, line.end, '"', name);
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
    const char* p = readValueName(line, value.name);
    if (!p)
        return false;
    const char* end = line.end;
    value.type = RegType::String;
    if (startsWith(p, end, "str(")) {
        p += 4;
        if (!readHexNumber(p, end, value.type) || !startsWith(p, end, "):"))
            return false;
        p += 2;
    }
    if (p < end && *p == '"') {
        QString text;
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

} // namespace syntax

HiveValue HiveValue::string(const QString& name, const QString& text, std::uint32_t type)
{
    return HiveValue { name, type, utf16le(text) };
}

QString HiveValue::text() const { return fromUtf16le(data, true); }

void ValueIndex::rebuild(const std::vector<HiveValue>& values)
{
    std::size_t size = 64;
    while (size < 2 * values.size() + 2)
        size *= 2;
    slots_.assign(size, Slot {});
    used_ = 0;
    for (std::size_t i = 0; i < values.size(); ++i)
        insert(foldedNameHash(values[i].name), i);
}

void ValueIndex::add(const HiveValue& value, std::size_t position)
{
    if (2 * (used_ + 1) > slots_.size()) {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.size() * 2, Slot {});
        used_ = 0;
        for (const Slot& slot : old) {
            if (slot.position != Empty)
                insert(slot.hash, slot.position);
        }
    }
    insert(foldedNameHash(value.name), position);
}

void ValueIndex::insert(std::size_t hash, std::size_t position)
{
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].position != Empty)
        i = (i + 1) & mask;
    slots_[i] = Slot { hash, position };
    ++used_;
}

std::ptrdiff_t ValueIndex::find(const std::vector<HiveValue>& values, QStringView name) const
{
    if (!active()) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (sameName(values[i].name, name))
                return static_cast<std::ptrdiff_t>(i);
        }
        return -1;
    }
    const std::size_t hash = foldedNameHash(name);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask; slots_[i].position != Empty; i = (i + 1) & mask) {
        if (slots_[i].hash == hash && sameName(values[slots_[i].position].name, name))
            return static_cast<std::ptrdiff_t>(slots_[i].position);
    }
    return -1;
}

const std::vector<HiveValue>& HiveKey::values() const
{
    parseSection();
    return values_;
}

const QList<QByteArray>& HiveKey::extraLines() const
{
    parseSection();
    return extraLines_;
}

const HiveValue* HiveKey::findValue(const QString& name) const
{
    parseSection();
    const std::ptrdiff_t at = index_.find(values_, name);
    return at < 0 ? nullptr : &values_[static_cast<std::size_t>(at)];
}

void HiveKey::setValue(HiveValue value)
{
    parseSection();
    put(std::move(value));
    section.clear();
}

bool HiveKey::removeValue(const QString& name)
{
    parseSection();
    const std::ptrdiff_t at = index_.find(values_, name);
    if (at < 0)
        return false;
    values_.erase(values_.begin() + at);
    if (index_.active())
        index_.rebuild(values_);
    section.clear();
    return true;
}

void HiveKey::appendExtraLines(const QList<QByteArray>& lines)
{
    parseSection();
    extraLines_ += lines;
    section.clear();
}

// Replaces the value of the same name (keeping the name as first written), else appends.
void HiveKey::put(HiveValue value) const
{
    const std::ptrdiff_t at = index_.find(values_, value.name);
    if (at >= 0) {
        HiveValue& existing = values_[static_cast<std::size_t>(at)];
        existing.type = value.type;
        existing.data = std::move(value.data);
        return;
    }
    values_.push_back(std::move(value));
    if (index_.active())
        index_.add(values_.back(), values_.size() - 1);
    else if (values_.size() >= IndexedFrom)
        index_.rebuild(values_);
}

// Reads the value lines of the section; what is no value is kept as an extra line, as Wine skips it.
void HiveKey::parseSection() const
{
    if (parsed_)
        return;
    parsed_ = true;
    Reader reader(section);
    if (reader.atEnd())
        return;
    const Line keyLine = reader.peek();
    if (!readable)
        extraLines_.push_back(bytesOf(keyLine.begin, keyLine.rawEnd));
    reader.advance(keyLine);
    while (!reader.atEnd()) {
        const Line line = reader.peek();
        const char* first = skipBlanks(line.begin, line.end);
        if (first < line.end && (*first == '"' || *first == '@')) {
            HiveValue value;
            Reader valueReader = reader;
            if (readValue(Line { first, line.end, line.next, line.rawEnd }, valueReader, value)) {
                put(std::move(value));
                reader = valueReader;
            } else {
                extraLines_.push_back(bytesOf(line.begin, line.rawEnd));
            }
        } else if (first < line.end && !startsWith(first, line.end, "#time=")) {
            extraLines_.push_back(bytesOf(line.begin, line.rawEnd));
        }
        reader.advance(reader.peek());
    }
}

HiveDocument::HiveDocument()
    : preamble_(NewHivePreamble)
{
}

HiveDocument HiveDocument::parse(const QByteArray& bytes, const QString& fileName)
{
    HiveDocument doc;
    if (bytes.isEmpty())
        return doc;
    if (!bytes.startsWith(Signature)) {
        const QString reason = QStringLiteral("it is not a Wine registry file (its first line is not \"%1\")")
                                   .arg(QLatin1String(Signature));
        throw HiveReadError(QStringLiteral("%1 is not a Wine registry file: its first line is not \"%2\". "
                                           "Check that the settings file is the user.reg of a Wine prefix.")
                                .arg(fileName, QLatin1String(Signature)),
            fileName, reason);
    }
    // Split the text into key sections at the lines that start with "[": a value never continues
    // onto such a line, so this is where Wine's reader starts a new key too.
    Reader reader(bytes);
    const char* sectionStart = nullptr;
    HiveKey* current = nullptr;
    auto finishSection = [&](const char* sectionEnd) {
        if (current)
            current->section = bytesOf(sectionStart, sectionEnd);
        else
            doc.preamble_ = bytesOf(bytes.constData(), sectionEnd);
    };
    while (!reader.atEnd()) {
        const Line line = reader.peek();
        if (line.begin < line.end && *line.begin == '[') {
            finishSection(line.begin);
            HiveKey key;
            key.readable = readKeyLine(line, key.path) && isUsablePath(key.path);
            if (key.readable)
                key.path = normalizedPath(key.path);
            key.folded = key.path.toCaseFolded();
            doc.keys_.push_back(std::move(key));
            current = &doc.keys_.back();
            sectionStart = line.begin;
        }
        reader.advance(line);
    }
    finishSection(reader.position());

    // A key listed twice is one key, as it is for Wine: merge the later sections into the first.
    QHash<QString, std::size_t> seen;
    seen.reserve(static_cast<qsizetype>(doc.keys_.size()));
    std::vector<HiveKey> merged;
    merged.reserve(doc.keys_.size());
    for (auto& key : doc.keys_) {
        const auto it = key.readable ? seen.constFind(key.folded) : seen.constEnd();
        if (it == seen.constEnd()) {
            if (key.readable)
                seen.insert(key.folded, merged.size());
            merged.push_back(std::move(key));
            continue;
        }
        HiveKey& first = merged[*it];
        for (const auto& value : key.values())
            first.setValue(value);
        first.appendExtraLines(key.extraLines());
    }
    doc.keys_ = std::move(merged);
    doc.placed_ = doc.keys_.size();
    doc.rebuildIndex();
    for (const HiveKey& key : doc.keys_) {
        if (key.readable)
            doc.addParentsOf(key.folded);
    }
    return doc;
}

QByteArray HiveDocument::serialize(std::int64_t unixSeconds) const
{
    placeNewKeys();
    QByteArray out;
    qsizetype estimate = preamble_.size();
    for (const auto& key : keys_)
        estimate += key.section.isEmpty() ? 256 + 64 * static_cast<qsizetype>(key.values().size()) : key.section.size();
    out.reserve(estimate);
    out += preamble_;
    const QByteArray time = QByteArray::number(unixSeconds);
    const QByteArray fileTime = fileTimeHex(unixSeconds);
    bool lastWasWritten = false;
    auto endLine = [&out] {
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += '\n';
    };
    auto blankLine = [&out, &endLine] {
        endLine();
        if (!out.endsWith("\n\n"))
            out += '\n';
    };
    for (const auto& key : keys_) {
        if (!key.section.isEmpty()) {
            if (lastWasWritten)
                blankLine();
            else
                endLine();
            out += key.section;
            lastWasWritten = false;
            continue;
        }
        blankLine();
        out += '[';
        appendEscaped(out, key.path, '[', ']');
        out += "] " + time + "\n#time=" + fileTime + '\n';
        for (const auto& extra : key.extraLines())
            out += extra + '\n';
        for (const auto& value : key.values())
            out += formatValue(value) + '\n';
        lastWasWritten = true;
    }
    return out;
}

QString HiveDocument::normalizedPath(const QString& path)
{
    if (!isUsablePath(path))
        throw HiveError(QStringLiteral("The key path \"%1\" has an empty part between two backslashes. "
                                       "Write it with single backslashes between key names.")
                            .arg(path));
    return trimBackslashes(path).toString();
}

const HiveKey* HiveDocument::findKey(const QString& path) const
{
    const auto it = index_.constFind(normalizedPath(path).toCaseFolded());
    return it == index_.constEnd() ? nullptr : &keys_[*it];
}

bool HiveDocument::keyExists(const QString& path) const
{
    const QString folded = normalizedPath(path).toCaseFolded();
    return folded.isEmpty() || index_.contains(folded) || parents_.contains(folded);
}

void HiveDocument::createKey(const QString& path)
{
    const QString normalized = normalizedPath(path);
    if (!keyExists(normalized))
        keyForWriting(normalized);
}

void HiveDocument::setValue(const QString& keyPath, const HiveValue& value)
{
    keyForWriting(normalizedPath(keyPath)).setValue(value);
    changed_ = true;
}

bool HiveDocument::deleteValue(const QString& keyPath, const QString& name)
{
    const auto it = index_.constFind(normalizedPath(keyPath).toCaseFolded());
    if (it == index_.constEnd() || !keys_[*it].removeValue(name))
        return false;
    changed_ = true;
    return true;
}

bool HiveDocument::deleteKey(const QString& path)
{
    const QString normalized = normalizedPath(path);
    if (normalized.isEmpty())
        throw HiveError(QStringLiteral("The root of the settings hive cannot be deleted; name the key to delete."));
    if (!keyExists(normalized))
        return false;
    placeNewKeys();
    const QString folded = normalized.toCaseFolded();
    const QString prefix = folded + u'\\';
    std::erase_if(keys_, [&](const HiveKey& key) {
        return key.readable && (key.folded == folded || key.folded.startsWith(prefix));
    });
    placed_ = keys_.size();
    rebuildIndex();
    parents_.clear();
    for (const HiveKey& key : keys_) {
        if (key.readable)
            addParentsOf(key.folded);
    }
    changed_ = true;
    // The file lists a key without values only when it has no subkeys, so a parent that was
    // listed only through this key needs a section of its own now.
    const qsizetype slash = normalized.lastIndexOf(u'\\');
    if (slash > 0 && !keyExists(normalized.left(slash)))
        keyForWriting(normalized.left(slash));
    return true;
}

const std::vector<HiveKey>& HiveDocument::keys() const
{
    placeNewKeys();
    return keys_;
}

HiveKey& HiveDocument::keyForWriting(const QString& normalized)
{
    const QString folded = normalized.toCaseFolded();
    if (const auto it = index_.constFind(folded); it != index_.constEnd())
        return keys_[*it];
    HiveKey key;
    key.path = normalized;
    key.folded = folded;
    key.markNew();
    appendKey(std::move(key));
    return keys_.back();
}

void HiveDocument::appendKey(HiveKey key)
{
    index_.insert(key.folded, keys_.size());
    addParentsOf(key.folded);
    keys_.push_back(std::move(key));
    changed_ = true;
}

// Puts the appended keys where Wine would have them: each before the first key of the file that
// sorts after it (new keys among themselves in sorted order).
void HiveDocument::placeNewKeys() const
{
    if (placed_ == keys_.size())
        return;
    std::vector<HiveKey> added(std::make_move_iterator(keys_.begin() + static_cast<std::ptrdiff_t>(placed_)),
        std::make_move_iterator(keys_.end()));
    keys_.resize(placed_);
    std::stable_sort(added.begin(), added.end(),
        [](const HiveKey& a, const HiveKey& b) { return foldedPathLess(a.folded, b.folded); });
    std::vector<HiveKey> placed;
    placed.reserve(keys_.size() + added.size());
    auto next = added.begin();
    for (HiveKey& key : keys_) {
        for (; next != added.end() && key.readable && foldedPathLess(next->folded, key.folded); ++next)
            placed.push_back(std::move(*next));
        placed.push_back(std::move(key));
    }
    for (; next != added.end(); ++next)
        placed.push_back(std::move(*next));
    keys_ = std::move(placed);
    placed_ = keys_.size();
    rebuildIndex();
}

void HiveDocument::rebuildIndex() const
{
    index_.clear();
    index_.reserve(static_cast<qsizetype>(keys_.size()));
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        if (keys_[i].readable)
            index_.insert(keys_[i].folded, i);
    }
}

void HiveDocument::addParentsOf(const QString& folded)
{
    for (qsizetype slash = folded.indexOf(u'\\'); slash > 0; slash = folded.indexOf(u'\\', slash + 1))
        parents_.insert(folded.left(slash));
}

} // namespace caltrix::hive
