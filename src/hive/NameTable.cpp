#include "hive/NameTable.h"

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

NameTable::NameTable() = default;
NameTable::NameTable(NameTable&&) noexcept = default;
NameTable& NameTable::operator=(NameTable&&) noexcept = default;
NameTable::~NameTable() = default;

NameTable::NameTable(const NameTable& other)
    : table_(other.table_ ? std::make_unique<Table>(*other.table_) : nullptr)
{
}

NameTable& NameTable::operator=(const NameTable& other)
{
    if (this != &other)
        table_ = other.table_ ? std::make_unique<Table>(*other.table_) : nullptr;
    return *this;
}

void NameTable::clear() { table_.reset(); }

void NameTable::reserve(std::size_t count)
{
    if (!table_ || tableSizeFor(count) > table_->entries.size())
        resize(tableSizeFor(count));
}

void NameTable::add(std::uint32_t hash, std::size_t position)
{
    if (!table_)
        resize(tableSizeFor(0));
    else if (2 * (table_->used + 1) > table_->entries.size())
        resize(table_->entries.size() * 2);
    insert(hash, static_cast<std::uint32_t>(position));
}

void NameTable::resize(std::size_t size)
{
    std::unique_ptr<Table> old = std::move(table_);
    table_ = std::make_unique<Table>();
    table_->entries.assign(size, Slot {});
    if (!old)
        return;
    for (const Slot& slot : old->entries) {
        if (slot.position != Empty)
            insert(slot.hash, slot.position);
    }
}

void NameTable::insert(std::uint32_t hash, std::uint32_t position)
{
    std::vector<Slot>& entries = table_->entries;
    const std::size_t mask = entries.size() - 1;
    std::size_t i = hash & mask;
    while (entries[i].position != Empty)
        i = (i + 1) & mask;
    entries[i] = Slot { hash, position };
    ++table_->used;
}

} // namespace caltrix::hive
