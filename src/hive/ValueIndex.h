#pragma once

#include "hive/HiveValue.h"
#include "hive/NameTable.h"

#include <QStringView>

#include <cstddef>
#include <vector>

namespace caltrix::hive {

// Positions of a key's values by name, compared without regard to case; kept only for keys with
// many values, so that finding or replacing a value does not walk all of them.
//
// A QHash from each case-folded name to its position was not enough: it needs a folded copy of
// every name as its key (one allocation and one fold per value, and another fold for every
// lookup), where the table keeps only a hash and a position and compares against the names the
// key holds anyway. BM_ParseHugeKey in bench/hive/HiveParseBench.cpp (reading 100,000 values in
// one key, goal under 50 ms), back when a lookup read the whole key, showed it: about 115 ms with
// such a QHash, about 47 ms with the table.
class ValueIndex {
public:
    void rebuild(const std::vector<HiveValue>& values);
    // Makes room for `count` values at once, so that adding them never grows the table on the way.
    void reserve(std::size_t count);
    bool active() const { return !table_.empty(); }
    // The position of the value named `name`, or -1.
    std::ptrdiff_t find(const std::vector<HiveValue>& values, QStringView name) const;
    // As find; when there is no such value and the index is active, records `position` (where the
    // caller puts the value next) under the name, hashing it once for both.
    std::ptrdiff_t findOrAdd(const std::vector<HiveValue>& values, QStringView name, std::size_t position);

private:
    std::ptrdiff_t findHashed(const std::vector<HiveValue>& values, QStringView name, std::uint32_t hash) const;

    NameTable table_;
};

} // namespace caltrix::hive
