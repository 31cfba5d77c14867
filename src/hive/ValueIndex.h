#pragma once

#include "hive/HiveValue.h"

#include <QStringView>

#include <cstddef>
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
    void add(const HiveValue& value, std::size_t position);
    bool active() const { return !slots_.empty(); }
    // The position of the value named `name`, or -1.
    std::ptrdiff_t find(const std::vector<HiveValue>& values, QStringView name) const;

private:
    struct Slot {
        std::size_t hash = 0;
        std::size_t position = Empty;
    };
    static constexpr std::size_t Empty = ~std::size_t { 0 };
    void insert(std::size_t hash, std::size_t position);

    std::vector<Slot> slots_; // size a power of two
    std::size_t used_ = 0;
};

} // namespace caltrix::hive
