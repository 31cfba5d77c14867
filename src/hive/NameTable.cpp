#include "hive/NameTable.h"

#include <algorithm>

namespace caltrix::hive {

namespace {

// Slots for `count` positions: at most half of them used, a power of two.
std::size_t tableSizeFor(std::size_t count)
{
    std::size_t size = 64;
    while (size < 2 * count + 2)
        size *= 2;
    return size;
}

} // namespace

// Code points are case-folded one by one, and a lone surrogate counts as U+FFFD, as the
// comparison does.
std::uint32_t NameTable::hash(QStringView name)
{
    std::uint64_t hash = 14695981039346656037ULL;
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

void NameTable::clear()
{
    slots_ = {};
    used_ = 0;
}

void NameTable::reserve(std::size_t count)
{
    if (tableSizeFor(count) > slots_.size())
        resize(tableSizeFor(count));
}

void NameTable::add(std::uint32_t hash, std::size_t position)
{
    if (2 * (used_ + 1) > slots_.size())
        resize(std::max(slots_.size() * 2, tableSizeFor(0)));
    insert(hash, static_cast<std::uint32_t>(position));
}

void NameTable::resize(std::size_t size)
{
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(size, Slot {});
    used_ = 0;
    for (const Slot& slot : old) {
        if (slot.position != Empty)
            insert(slot.hash, slot.position);
    }
}

void NameTable::insert(std::uint32_t hash, std::uint32_t position)
{
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].position != Empty)
        i = (i + 1) & mask;
    slots_[i] = Slot { hash, position };
    ++used_;
}

} // namespace caltrix::hive
