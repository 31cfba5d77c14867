#pragma once

#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace caltrix::hive {

// Positions of names without regard to case, in an open-addressing table of (name hash, position)
// entries, at most half full. The names stay where they are: whoever looks one up tells whether the
// name at a position is the one sought.
class NameTable {
public:
    NameTable();
    NameTable(const NameTable& other);
    NameTable& operator=(const NameTable& other);
    NameTable(NameTable&&) noexcept;
    NameTable& operator=(NameTable&&) noexcept;
    ~NameTable();

    // The same for every two names that QString::compare(Qt::CaseInsensitive) finds equal.
    static std::uint32_t hash(QStringView name);
    // Whether `position` fits a slot.
    static bool fits(std::size_t position) { return position < Empty; }

    bool empty() const { return !table_; }
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
        if (!table_)
            return;
        const std::vector<Slot>& entries = table_->entries;
        const std::size_t mask = entries.size() - 1;
        for (std::size_t i = hash & mask; entries[i].position != Empty; i = (i + 1) & mask) {
            if (entries[i].hash == hash && visit(std::size_t { entries[i].position }))
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
    // One pointer until the first name is added: most keys never need a table.
    struct Table {
        std::vector<Slot> entries; // size a power of two
        std::size_t used = 0;
    };
    void resize(std::size_t size);
    void insert(std::uint32_t hash, std::uint32_t position);

    std::unique_ptr<Table> table_;
};

} // namespace caltrix::hive
