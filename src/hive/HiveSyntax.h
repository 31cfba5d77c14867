#pragma once

#include "hive/HiveValue.h"

#include <QByteArrayView>
#include <QStringView>

#include <cstddef>
#include <cstring>

// The value lines that Wine's user.reg and the registry editor's export files share:
// "name"="text", @=..., dword:, hex:, hex(N): with "\" continuation lines.
namespace caltrix::hive::syntax {

struct Line {
    const char* begin;
    const char* end; // without "\r\n"
    const char* next; // start of the following line
    const char* rawEnd = nullptr; // before the "\n" only: the line as kept when it is not understood
};

// Walks the lines of a text.
class Reader {
public:
    explicit Reader(QByteArrayView bytes)
        : Reader(bytes.data(), bytes.data() + bytes.size())
    {
    }
    // From `pos`, the start of a line, up to `end`.
    Reader(const char* pos, const char* end)
        : pos_(pos)
        , end_(end)
    {
    }
    bool atEnd() const { return pos_ >= end_; }
    const char* position() const { return pos_; }
    Line peek() const
    {
        const void* nl = std::memchr(pos_, '\n', static_cast<std::size_t>(end_ - pos_));
        const char* lineEnd = nl ? static_cast<const char*>(nl) : end_;
        const char* next = nl ? lineEnd + 1 : end_;
        const char* rawEnd = lineEnd;
        if (lineEnd > pos_ && lineEnd[-1] == '\r')
            --lineEnd;
        return { pos_, lineEnd, next, rawEnd };
    }
    void advance(const Line& line) { pos_ = line.next; }

private:
    const char* pos_;
    const char* end_;
};

// Reads Wine's escaped text from `p` up to the unescaped `endChar`: C, octal and \x escapes, and
// UTF-8 where Wine writes raw bytes. Returns the position after `endChar`, or nullptr when the
// line ends first.
const char* unescape(const char* p, const char* end, char endChar, QString& out);

// Writes `text` as Wine does: ASCII as it is, other characters as \x escapes, control
// characters as C or octal escapes, a backslash before '\' and before the two given quotes.
// Returns the number of bytes written.
int appendEscaped(QByteArray& out, const QString& text, char quote1, char quote2);

// Wine's text for one value, without the newline.
QByteArray formatValue(const HiveValue& value);

inline const char* skipBlanks(const char* p, const char* end)
{
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
    return p;
}

inline bool startsWith(const char* p, const char* end, const char* text)
{
    const auto n = std::strlen(text);
    return static_cast<std::size_t>(end - p) >= n && std::memcmp(p, text, n) == 0;
}

// The line from its first non-blank character on.
inline Line withoutIndent(const Line& line) { return { skipBlanks(line.begin, line.end), line.end, line.next, line.rawEnd }; }

// Whether a line without its indent starts as a value does ('"' or '@'). A value's continuation
// lines never do.
inline bool startsValue(const Line& line) { return line.begin < line.end && (*line.begin == '"' || *line.begin == '@'); }

// The lines from the reader's position on that start as a value does: at least as many as the
// values they hold.
std::size_t countValueLines(Reader reader);

// Reads the name of the value whose line starts at `line.begin` ('"' or '@') and its "=";
// returns where the data starts, or nullptr for a line that is no value. `name` stays valid until
// the next text is read on this thread.
const char* readValueName(const Line& line, QStringView& name);

// Parses the value whose line starts at `line.begin` (a '"' or '@'); on success the reader stands
// on the value's last line. False for a line that is no value.
bool readValue(Line line, Reader& reader, HiveValue& value);

} // namespace caltrix::hive::syntax
