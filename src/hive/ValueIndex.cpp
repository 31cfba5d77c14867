#include "hive/ValueIndex.h"

namespace caltrix::hive {

namespace {

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

} // namespace

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

} // namespace caltrix::hive
