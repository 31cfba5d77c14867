#pragma once

#include "hive/HiveValue.h"
#include "hive/NameTable.h"

#include <QByteArrayView>
#include <QStringView>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace caltrix::hive {

// The value lines of a key's section by name, so that one value can be read without the others.
// Each line that starts as a value does is read on its own (a value's continuation lines never
// start so), which makes a value found here the same as reading the whole section gives.
class ValueLines {
public:
    // Whether a section this long can be indexed: line offsets must fit the table.
    static bool fits(QByteArrayView section) { return NameTable::fits(static_cast<std::size_t>(section.size())); }

    // Indexes the value lines of `section` after its first line, the key line.
    explicit ValueLines(QByteArrayView section);

    // The offsets of the value lines named `name`, in file order.
    std::vector<std::size_t> linesNamed(QByteArrayView section, QStringView name) const;

    // The value those lines hold, as a reading of the whole section finds it: named as the first
    // line that holds a readable value writes it, with the type and data of the last such line.
    // Nothing when none of them does.
    static std::optional<HiveValue> read(QByteArrayView section, const std::vector<std::size_t>& lines);

private:
    NameTable table_;
};

// The values of a key found before the key is read whole: each read from the lines that name it
// alone, and kept while the key lasts. One pointer in the key until the first lookup; a cache, so
// a copy of the key starts without one.
class ValueLookup {
public:
    ValueLookup();
    ValueLookup(const ValueLookup&);
    ValueLookup& operator=(const ValueLookup& other);
    ValueLookup(ValueLookup&&) noexcept;
    ValueLookup& operator=(ValueLookup&&) noexcept;
    ~ValueLookup();

    // The value named `name` in `section`, or nullptr.
    const HiveValue* find(QByteArrayView section, QStringView name);
    // The key is read whole: its values are found elsewhere from now on. The lines' table goes;
    // the values found stay where they are.
    void dropLines();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace caltrix::hive
