// Fuzz target: any bytes given to the hive parser either fail with HiveError or give a document
// that writes back to the same bytes (when unchanged) and reads back to the same keys and values
// after an edit, and a value looked up before its key is read whole is the value reading the
// whole key gives. The same bytes imported as a registry editor export give a hive that reads back
// as well.
#include "hive/HiveDocument.h"
#include "hive/HiveError.h"
#include "hive/RegeditImport.h"

#include <cstdint>
#include <cstdlib>
#include <cstdio>

using namespace caltrix::hive;

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "hive fuzz check failed: %s\n", what);
        std::abort();
    }
}

// Every readable key of `a` is in `b` with the same values.
void checkSameContent(const HiveDocument& a, const HiveDocument& b)
{
    for (const HiveKey& key : a.keys()) {
        if (!key.readable)
            continue;
        const HiveKey* other = b.findKey(key.path);
        check(other != nullptr, "key lost");
        check(other->values() == key.values(), "values changed");
    }
}

// Every value of a readable key of `read` is what looking it up finds in a fresh reading of
// `bytes`, where its key has not been read whole.
void checkLookupsMatchWholeKeys(const QByteArray& bytes, const HiveDocument& read)
{
    const HiveDocument fresh = HiveDocument::parse(bytes, QStringLiteral("fuzz"));
    for (const HiveKey& key : read.keys()) {
        if (!key.readable)
            continue;
        const HiveKey* other = fresh.findKey(key.path);
        check(other != nullptr, "key lost");
        for (const HiveValue& value : key.values()) {
            const HiveValue* found = other->findValue(value.name);
            check(found != nullptr && *found == value, "value looked up differs from the key read whole");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        HiveDocument imported;
        importRegedit(bytes, QStringLiteral("fuzz"), imported);
        const HiveDocument back = HiveDocument::parse(imported.serialize(1), QStringLiteral("fuzz"));
        checkSameContent(imported, back);
    } catch (const HiveError&) {
    }
    HiveDocument doc;
    try {
        doc = HiveDocument::parse(bytes, QStringLiteral("fuzz"));
    } catch (const HiveError&) {
        return 0;
    }
    checkLookupsMatchWholeKeys(bytes, doc);
    bool merged = false;
    for (const HiveKey& key : doc.keys())
        merged = merged || key.section.isEmpty();
    if (!merged && !bytes.isEmpty())
        check(doc.serialize(0) == bytes, "unchanged document not written back as read");

    // Edit the first key (or a new one) with a text made of the input, then read it all back.
    QString keyPath = QStringLiteral("Fuzz");
    for (const HiveKey& key : doc.keys()) {
        if (key.readable) {
            keyPath = key.path;
            break;
        }
    }
    const QString text = QString::fromLatin1(bytes.left(64));
    doc.setValue(keyPath, HiveValue::string(text, text));
    const HiveDocument back = HiveDocument::parse(doc.serialize(1), QStringLiteral("fuzz"));
    checkSameContent(doc, back);
    checkSameContent(back, doc);
    if (!doc.keys().empty() && doc.keys().front().readable && !doc.keys().front().path.isEmpty()) {
        HiveDocument deleted = back;
        deleted.deleteKey(doc.keys().front().path);
        check(!deleted.keyExists(doc.keys().front().path), "deleted key still there");
        HiveDocument::parse(deleted.serialize(2), QStringLiteral("fuzz"));
    }
    return 0;
}
