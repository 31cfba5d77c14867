#pragma once

#include "hive/HiveValue.h"

#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace caltrix::hive {

// Positions of a key's values by name, compared without regard to case; kept only for keys with
// many values, so that finding or replacing a value does not walk all of them. An open-addressing
// table of (name hash, position) slots, at most half full.
//
// A QHash from each case-folded name to its position was not enough: it needs a folded copy of
// every name as its key (one allocation and one fold per value, and another fold for every
// lookup), where this table keeps only a hash and a position and compares against the names the
// key holds anyway. BM_ParseHugeKey in bench/hive/HiveParseBench.cpp (reading 100,000 values in
// one key, goal under 50 ms) shows it: about 115 ms with such a QHash, about 47 ms with this table.
class ValueIndex {
public:
    void rebuild(const std::vector<HiveValue>& values);
    // Makes room for `count` values at once, so that adding them never grows the table on the way.
    void reserve(std::size_t count);
    bool active() const { return !slots_.empty(); }
    // The position of the value named `name`, or -1.
    std::ptrdiff_t find(const std::vector<HiveValue>& values, QStringView name) const;
    // As find; when there is no such value and the index is active, records `position` (where the
    // caller puts the value next) under the name, hashing and probing once for both.
    std::ptrdiff_t findOrAdd(const std::vector<HiveValue>& values, QStringView name, std::size_t position);

private:
    // Eight bytes a slot: the table of a large key is written once when the key is read, and
    // memory the process takes anew costs more than the work done in it.
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t position = Empty;
    };
    static constexpr std::uint32_t Empty = ~std::uint32_t { 0 };
    // Keys with more values than positions fit a slot are searched one by one.
    static bool fits(std::size_t count) { return count < Empty; }
    // The slot holding `name`, else the empty slot where it belongs.
    std::size_t probe(const std::vector<HiveValue>& values, QStringView name, std::uint32_t hash) const;
    void resize(std::size_t size);
    void insert(std::uint32_t hash, std::size_t position);

    std::vector<Slot> slots_; // size a power of two
    std::size_t used_ = 0;
};

} // namespace caltrix::hive
