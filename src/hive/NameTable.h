#pragma once

#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace caltrix::hive {

// Positions of names without regard to case, in an open-addressing table of (name hash, position)
// slots, at most half full. The names stay where they are: whoever looks one up tells whether the
// name at a position is the one sought.
class NameTable {
public:
    // The same for every two names that QString::compare(Qt::CaseInsensitive) finds equal.
    static std::uint32_t hash(QStringView name);
    // Whether `position` fits a slot.
    static bool fits(std::size_t position) { return position < Empty; }

    bool empty() const { return slots_.empty(); }
    void clear();
    // Makes room for `count` positions at once, so that adding them never grows the table on the way.
    void reserve(std::size_t count);
    // `position` must fit a slot.
    void add(std::uint32_t hash, std::size_t position);

    // Calls `visit(position)` for the positions added under `hash`, in the order the table holds
    // them, until it returns true.
    template <class Visit>
    void visit(std::uint32_t hash, Visit visit) const
    {
        if (slots_.empty())
            return;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask; slots_[i].position != Empty; i = (i + 1) & mask) {
            if (slots_[i].hash == hash && visit(std::size_t { slots_[i].position }))
                return;
        }
    }

private:
    // Eight bytes a slot: the table of a large key is written in one go when the key is read, and
    // memory the process takes anew costs more than the work done in it.
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t position = Empty;
    };
    static constexpr std::uint32_t Empty = ~std::uint32_t { 0 };
    void resize(std::size_t size);
    void insert(std::uint32_t hash, std::uint32_t position);

    std::vector<Slot> slots_; // size a power of two
    std::size_t used_ = 0;
};

} // namespace caltrix::hive
