#pragma once

#include "hive/HiveDocument.h"

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
    explicit Reader(const QByteArray& bytes)
        : pos_(bytes.constData())
        , end_(bytes.constData() + bytes.size())
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

// Reads the name of the value whose line starts at `line.begin` ('"' or '@') and its "=";
// returns where the data starts, or nullptr for a line that is no value.
const char* readValueName(const Line& line, QString& name);

// Parses the value whose line starts at `line.begin` (a '"' or '@'); on success the reader stands
// on the value's last line. False for a line that is no value.
bool readValue(Line line, Reader& reader, HiveValue& value);

} // namespace caltrix::hive::syntax
