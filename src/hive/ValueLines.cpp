#include "hive/ValueLines.h"

#include "hive/HiveSyntax.h"

#include <algorithm>
#include <unordered_map>

namespace caltrix::hive {

using syntax::Line;
using syntax::Reader;

namespace {

Reader readerAt(QByteArrayView section, std::size_t offset)
{
    return Reader(section.data() + offset, section.data() + section.size());
}

} // namespace

ValueLines::ValueLines(QByteArrayView section)
{
    Reader reader(section);
    if (reader.atEnd())
        return;
    reader.advance(reader.peek()); // the key line
    // Room for every line at once: growing step by step would write the table several times over.
    table_.reserve(syntax::countValueLines(reader));
    while (!reader.atEnd()) {
        const Line line = reader.peek();
        reader.advance(line);
        const Line content = syntax::withoutIndent(line);
        QStringView name;
        if (syntax::startsValue(content) && syntax::readValueName(content, name))
            table_.add(NameTable::hash(name), static_cast<std::size_t>(line.begin - section.data()));
    }
}

std::vector<std::size_t> ValueLines::linesNamed(QByteArrayView section, QStringView name) const
{
    std::vector<std::size_t> lines;
    table_.visit(NameTable::hash(name), [&](std::size_t offset) {
        QStringView lineName;
        syntax::readValueName(syntax::withoutIndent(readerAt(section, offset).peek()), lineName);
        if (lineName.compare(name, Qt::CaseInsensitive) == 0)
            lines.push_back(offset);
        return false;
    });
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::optional<HiveValue> ValueLines::read(QByteArrayView section, const std::vector<std::size_t>& lines)
{
    std::optional<HiveValue> found;
    for (const std::size_t offset : lines) {
        Reader reader = readerAt(section, offset);
        HiveValue value;
        if (!syntax::readValue(syntax::withoutIndent(reader.peek()), reader, value))
            continue;
        // A later line of the same name replaces the data and keeps the name as first written.
        if (found) {
            found->type = value.type;
            found->data = std::move(value.data);
        } else {
            found = std::move(value);
        }
    }
    return found;
}

struct ValueLookup::State {
    std::optional<ValueLines> lines;
    std::unordered_map<std::size_t, HiveValue> found; // by the offset of the first line naming them
};

ValueLookup::ValueLookup() = default;
ValueLookup::ValueLookup(const ValueLookup&) { }
ValueLookup::ValueLookup(ValueLookup&&) noexcept = default;
ValueLookup& ValueLookup::operator=(ValueLookup&&) noexcept = default;
ValueLookup::~ValueLookup() = default;

ValueLookup& ValueLookup::operator=(const ValueLookup& other)
{
    if (this != &other)
        state_.reset();
    return *this;
}

const HiveValue* ValueLookup::find(QByteArrayView section, QStringView name)
{
    if (!state_)
        state_ = std::make_unique<State>();
    if (!state_->lines)
        state_->lines.emplace(section);
    const std::vector<std::size_t> lines = state_->lines->linesNamed(section, name);
    if (lines.empty())
        return nullptr;
    auto& found = state_->found;
    if (const auto it = found.find(lines.front()); it != found.end())
        return &it->second;
    std::optional<HiveValue> value = ValueLines::read(section, lines);
    return value ? &found.emplace(lines.front(), std::move(*value)).first->second : nullptr;
}

void ValueLookup::dropLines()
{
    if (state_)
        state_->lines.reset();
}

} // namespace caltrix::hive
