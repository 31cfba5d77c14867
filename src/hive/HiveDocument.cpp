#include "hive/HiveDocument.h"

#include "hive/HiveError.h"
#include "hive/HiveSyntax.h"

#include <algorithm>
#include <numeric>

namespace caltrix::hive {

using syntax::Line;
using syntax::Reader;
using syntax::skipBlanks;
using syntax::startsWith;

namespace {

constexpr char Signature[] = "WINE REGISTRY Version 2";
// What Wine writes at the top of a user hive it creates.
constexpr char NewHivePreamble[] = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n";
// Seconds between the FILETIME epoch (1601) and the Unix epoch.
constexpr std::int64_t FileTimeEpochOffset = 11644473600LL;

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

// Parses "[path] time"; false for a line without the closing bracket.
bool readKeyLine(const Line& line, QString& path)
{
    return syntax::unescape(line.begin + 1, line.end, ']', path) != nullptr;
}

QByteArray bytesOf(const char* begin, const char* end) { return QByteArray(begin, end - begin); }

// Keys with fewer values than this are searched one by one; beyond it a hash index pays off.
constexpr std::size_t IndexedFrom = 16;

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
    // Until the key is read whole, only the lines naming the value are read: looking at a few
    // values of a large key takes neither the time nor the memory that reading all of them would.
    if (!parsed_ && ValueLines::fits(section))
        return lookup_.find(section, name);
    parseSection();
    const std::ptrdiff_t at = index_.find(values_, name);
    return at < 0 ? nullptr : &values_[static_cast<std::size_t>(at)];
}

void HiveKey::setValue(HiveValue value)
{
    parseSection();
    put(std::move(value));
    dropSection();
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
    dropSection();
    return true;
}

void HiveKey::appendExtraLines(const QList<QByteArray>& lines)
{
    parseSection();
    extraLines_ += lines;
    dropSection();
}

void HiveKey::setSection(const QByteArray& text, QByteArrayView part)
{
    text_ = text;
    section = part;
}

// The key changed: its section is written anew.
void HiveKey::dropSection()
{
    section = {};
    text_ = {};
}

// Replaces the value of the same name (keeping the name as first written), else appends.
void HiveKey::put(HiveValue value) const
{
    const std::ptrdiff_t at = index_.findOrAdd(values_, value.name, values_.size());
    if (at >= 0) {
        HiveValue& existing = values_[static_cast<std::size_t>(at)];
        existing.type = value.type;
        existing.data = std::move(value.data);
        return;
    }
    values_.push_back(std::move(value));
    if (!index_.active() && values_.size() >= IndexedFrom)
        index_.rebuild(values_);
}

// Reads the value lines of the section; what is no value is kept as an extra line, as Wine skips it.
void HiveKey::parseSection() const
{
    if (parsed_)
        return;
    parsed_ = true;
    lookup_.dropLines(); // the values are found in values_ from now on
    Reader reader(section);
    if (reader.atEnd())
        return;
    const Line keyLine = reader.peek();
    if (!readable)
        extraLines_.push_back(bytesOf(keyLine.begin, keyLine.rawEnd));
    reader.advance(keyLine);
    // Room for every value at once: growing step by step would move the values and rehash their
    // names again at each step, and touch several times the memory they end up in.
    const std::size_t valueLines = syntax::countValueLines(reader);
    values_.reserve(valueLines);
    if (valueLines >= IndexedFrom)
        index_.reserve(valueLines);
    while (!reader.atEnd()) {
        const Line line = reader.peek();
        const Line content = syntax::withoutIndent(line);
        if (syntax::startsValue(content)) {
            HiveValue value;
            Reader valueReader = reader;
            if (syntax::readValue(content, valueReader, value)) {
                put(std::move(value));
                reader = valueReader;
            } else {
                extraLines_.push_back(bytesOf(line.begin, line.rawEnd));
            }
        } else if (content.begin < line.end && !startsWith(content.begin, line.end, "#time=")) {
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
    // The keys keep parts of the text rather than copies: a large hive is not copied once more.
    // The text must own its bytes for that (a copy of raw data would not).
    const QByteArray text = bytes.capacity() > 0 ? bytes : QByteArray(bytes.constData(), bytes.size());
    // Split the text into key sections at the lines that start with "[": a value never continues
    // onto such a line, so this is where Wine's reader starts a new key too.
    Reader reader(text);
    const char* sectionStart = nullptr;
    HiveKey* current = nullptr;
    auto finishSection = [&](const char* sectionEnd) {
        if (current)
            current->setSection(text, QByteArrayView(sectionStart, sectionEnd));
        else
            doc.preamble_ = bytesOf(text.constData(), sectionEnd);
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
        syntax::appendEscaped(out, key.path, '[', ']');
        out += "] " + time + "\n#time=" + fileTime + '\n';
        for (const auto& extra : key.extraLines())
            out += extra + '\n';
        for (const auto& value : key.values())
            out += syntax::formatValue(value) + '\n';
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
    // The positions of the new keys are sorted, not the keys: each key moves once, into its place.
    std::vector<std::size_t> added(keys_.size() - placed_);
    std::iota(added.begin(), added.end(), placed_);
    std::stable_sort(added.begin(), added.end(),
        [this](std::size_t a, std::size_t b) { return foldedPathLess(keys_[a].folded, keys_[b].folded); });
    std::vector<HiveKey> placed;
    placed.reserve(keys_.size());
    auto next = added.begin();
    for (std::size_t i = 0; i < placed_; ++i) {
        HiveKey& key = keys_[i];
        for (; next != added.end() && key.readable && foldedPathLess(keys_[*next].folded, key.folded); ++next)
            placed.push_back(std::move(keys_[*next]));
        placed.push_back(std::move(key));
    }
    for (; next != added.end(); ++next)
        placed.push_back(std::move(keys_[*next]));
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
