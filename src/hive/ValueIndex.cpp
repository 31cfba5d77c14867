#include "hive/ValueIndex.h"

namespace caltrix::hive {

namespace {

bool sameName(const QString& a, QStringView b) { return QStringView(a).compare(b, Qt::CaseInsensitive) == 0; }

} // namespace

void ValueIndex::rebuild(const std::vector<HiveValue>& values)
{
    table_.clear();
    if (!NameTable::fits(values.size()))
        return; // searched one by one
    table_.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        table_.add(NameTable::hash(values[i].name), i);
}

void ValueIndex::reserve(std::size_t count)
{
    if (NameTable::fits(count))
        table_.reserve(count);
}

std::ptrdiff_t ValueIndex::find(const std::vector<HiveValue>& values, QStringView name) const
{
    if (active())
        return findHashed(values, name, NameTable::hash(name));
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (sameName(values[i].name, name))
            return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
}

std::ptrdiff_t ValueIndex::findOrAdd(const std::vector<HiveValue>& values, QStringView name, std::size_t position)
{
    if (!NameTable::fits(position))
        table_.clear();
    if (!active())
        return find(values, name);
    const std::uint32_t hash = NameTable::hash(name);
    const std::ptrdiff_t found = findHashed(values, name, hash);
    if (found < 0)
        table_.add(hash, position);
    return found;
}

std::ptrdiff_t ValueIndex::findHashed(const std::vector<HiveValue>& values, QStringView name, std::uint32_t hash) const
{
    std::ptrdiff_t found = -1;
    table_.visit(hash, [&](std::size_t position) {
        if (!sameName(values[position].name, name))
            return false;
        found = static_cast<std::ptrdiff_t>(position);
        return true;
    });
    return found;
}

} // namespace caltrix::hive
