#include "hive/ValueIndex.h"

namespace caltrix::hive {

namespace {

// A hash of the name that is the same for every name QString::compare(Qt::CaseInsensitive) finds
// equal: code points are case-folded one by one, and a lone surrogate counts as U+FFFD as it does
// there.
std::uint32_t foldedNameHash(QStringView name)
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
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

bool sameName(const QString& a, QStringView b) { return QStringView(a).compare(b, Qt::CaseInsensitive) == 0; }

// Slots for `count` values: at most half of them used, a power of two.
std::size_t tableSizeFor(std::size_t count)
{
    std::size_t size = 64;
    while (size < 2 * count + 2)
        size *= 2;
    return size;
}

} // namespace

void ValueIndex::rebuild(const std::vector<HiveValue>& values)
{
    slots_.clear();
    used_ = 0;
    if (!fits(values.size()))
        return;
    slots_.assign(tableSizeFor(values.size()), Slot {});
    for (std::size_t i = 0; i < values.size(); ++i)
        insert(foldedNameHash(values[i].name), i);
}

void ValueIndex::reserve(std::size_t count)
{
    if (fits(count) && tableSizeFor(count) > slots_.size())
        resize(tableSizeFor(count));
}

void ValueIndex::resize(std::size_t size)
{
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(size, Slot {});
    used_ = 0;
    for (const Slot& slot : old) {
        if (slot.position != Empty)
            insert(slot.hash, slot.position);
    }
}

void ValueIndex::insert(std::uint32_t hash, std::size_t position)
{
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].position != Empty)
        i = (i + 1) & mask;
    slots_[i] = Slot { hash, static_cast<std::uint32_t>(position) };
    ++used_;
}

std::size_t ValueIndex::probe(const std::vector<HiveValue>& values, QStringView name, std::uint32_t hash) const
{
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].position != Empty
        && (slots_[i].hash != hash || !sameName(values[slots_[i].position].name, name)))
        i = (i + 1) & mask;
    return i;
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
    const Slot& slot = slots_[probe(values, name, foldedNameHash(name))];
    return slot.position == Empty ? -1 : static_cast<std::ptrdiff_t>(slot.position);
}

std::ptrdiff_t ValueIndex::findOrAdd(const std::vector<HiveValue>& values, QStringView name, std::size_t position)
{
    if (active() && !fits(position))
        slots_.clear();
    if (!active())
        return find(values, name);
    const std::uint32_t hash = foldedNameHash(name);
    Slot& slot = slots_[probe(values, name, hash)];
    if (slot.position != Empty)
        return static_cast<std::ptrdiff_t>(slot.position);
    if (2 * (used_ + 1) <= slots_.size()) {
        slot = Slot { hash, static_cast<std::uint32_t>(position) };
        ++used_;
    } else {
        resize(slots_.size() * 2);
        insert(hash, position);
    }
    return -1;
}

} // namespace caltrix::hive
