#include "hive/ValueLines.h"

#include "hive/HiveSyntax.h"

#include <algorithm>

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

} // namespace caltrix::hive
