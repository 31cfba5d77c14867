#pragma once

#include "hive/HiveValue.h"
#include "hive/ValueIndex.h"
#include "hive/ValueLines.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace caltrix::hive {

// One key section of the file. Its values are read from the section's text the first time they
// are asked for, so that reading a large hive only to look at a few keys stays cheap; a single
// value found before then is read from the lines that name it alone.
class HiveKey {
public:
    QString path; // as written in the file, components separated by backslashes
    QString folded; // case-folded path: keys are found regardless of case
    // The section's text exactly as read, while the key is unchanged; empty once it changed, and
    // then the section is written anew. A part of the file's text, which the key keeps (shared)
    // while it needs it.
    QByteArrayView section;
    // False for a section whose key line is unreadable: kept as text, never found or changed.
    bool readable = true;

    // In file order.
    const std::vector<HiveValue>& values() const;
    // Lines of the section that are not values, kept as they stand: "#class=", "#link", comments and
    // lines this parser cannot read (Wine skips those too). "#time=" is rewritten with the key.
    const QList<QByteArray>& extraLines() const;
    const HiveValue* findValue(const QString& name) const;

    // Sets the value, replacing one of the same name; the section is written anew.
    void setValue(HiveValue value);
    // False when there is no such value.
    bool removeValue(const QString& name);
    void appendExtraLines(const QList<QByteArray>& lines);
    // Marks a key made in memory: it has no section to read values from.
    void markNew() { parsed_ = true; }
    // Makes `part` of the file's `text` the key's section.
    void setSection(const QByteArray& text, QByteArrayView part);

private:
    void dropSection();
    void parseSection() const;
    void put(HiveValue value) const;

    // Filled from `section` on first use (hence mutable; documents are used on one thread).
    mutable bool parsed_ = false;
    QByteArray text_; // holds the bytes `section` views
    mutable std::vector<HiveValue> values_;
    mutable QList<QByteArray> extraLines_;
    mutable ValueIndex index_;
    mutable ValueLookup lookup_; // values found before the values are read
};

// The content of a hive file in Wine's user.reg format (REGEDIT4-like text, "WINE REGISTRY
// Version 2" in its first line, keys relative to the user's root). Parsing keeps every line it
// does not change, so writing an unchanged document gives back the same bytes and a change
// rewrites only the keys it touched. Key and value names are matched without regard to case.
class HiveDocument {
public:
    // An empty hive, as a file that does not exist yet.
    HiveDocument();

    // Throws HiveError when `bytes` is not a Wine registry file (`fileName` names it in the message).
    // An empty text is an empty hive.
    static HiveDocument parse(const QByteArray& bytes, const QString& fileName);

    // The file's text; keys changed since parsing get `unixSeconds` as their modification time.
    QByteArray serialize(std::int64_t unixSeconds) const;

    const HiveKey* findKey(const QString& path) const;
    // True for a key with a section of its own and for a key that is only the parent of others
    // (the file lists a key without values only when it has no subkeys either).
    bool keyExists(const QString& path) const;
    // In file order, new keys in their sorted place; valid until the next change.
    const std::vector<HiveKey>& keys() const;

    // Creates the key (as a section without values) unless it exists.
    void createKey(const QString& path);
    // Creates the key (its parents exist implicitly) and sets the value, replacing one of the
    // same name.
    void setValue(const QString& keyPath, const HiveValue& value);
    // False when the key or the value does not exist.
    bool deleteValue(const QString& keyPath, const QString& name);
    // Deletes the key with all its subkeys; the parent keeps existing. False when it did not exist.
    bool deleteKey(const QString& path);

    // Whether any edit changed the document since parsing.
    bool changed() const { return changed_; }

    // A key path without leading and trailing backslashes; throws HiveError for an empty
    // component ("a\\\\b").
    static QString normalizedPath(const QString& path);

private:
    HiveKey& keyForWriting(const QString& normalized);
    void appendKey(HiveKey key);
    void placeNewKeys() const;
    void rebuildIndex() const;
    void addParentsOf(const QString& folded);

    QByteArray preamble_; // header line, comments and options before the first key
    // New keys are appended and moved to their sorted place only when the order is next needed
    // (writing, listing), so that adding many keys stays linear; hence mutable.
    mutable std::vector<HiveKey> keys_;
    mutable std::size_t placed_ = 0; // keys_ before this position are in their place
    mutable QHash<QString, std::size_t> index_; // folded path -> position in keys_
    QSet<QString> parents_; // folded paths of every proper prefix of a key path
    bool changed_ = false;
};

} // namespace caltrix::hive
