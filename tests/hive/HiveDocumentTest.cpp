#include "hive/HiveDocument.h"
#include "hive/HiveError.h"
#include "hive/Hive.h"

#include "HiveTestData.h"

#include <gtest/gtest.h>

using namespace caltrix::hive;

namespace {

HiveDocument fixture() { return HiveDocument::parse(dataFile("wine-user.reg"), QStringLiteral("user.reg")); }

QByteArray utf16(std::u16string_view text)
{
    QByteArray bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

const char* const Tavor5 = "Software\\Korvane\\Pelto\\Calibration\\Tavor5";
const char* const Device = "Software\\Korvane\\Pelto\\TavorDevicePeltoAnt";

} // namespace

TEST(HiveDocument, ReadsEveryKindOfValueThatWineWrites)
{
    const HiveDocument doc = fixture();
    const HiveKey* key = doc.findKey(QString::fromLatin1(Tavor5));
    ASSERT_NE(key, nullptr);
    struct Case {
        const char* name;
        std::uint32_t type;
        QByteArray data;
    };
    QByteArray longBin;
    for (int i = 0; i < 0x3c; ++i)
        longBin += static_cast<char>(i);
    const Case cases[] = {
        { "", RegType::String, utf16(u"default value") + QByteArray(2, 0) },
        { "Bin", RegType::Binary, QByteArray::fromHex("0102abcd") },
        { "Empty", RegType::String, QByteArray(2, 0) },
        { "LongBin", RegType::Binary, longBin },
        { "Multi", RegType::MultiString, utf16(std::u16string_view(u"one\0two\0\0", 9)) },
        { "Quote\"Back\\slash", RegType::String, utf16(u"a \"quoted\" C:\\path\\\u00e9 \u00fc \u65e5\u672c") + QByteArray(2, 0) },
        { "Speed1", RegType::String, utf16(u"20") + QByteArray(2, 0) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HiveValue* value = key->findValue(QString::fromUtf8(c.name));
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->type, c.type);
        EXPECT_EQ(value->data.toHex(), c.data.toHex());
    }
    const HiveKey* device = doc.findKey(QString::fromLatin1(Device));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->findValue(QStringLiteral("Dw"))->data, QByteArray::fromHex("07000000"));
    const HiveValue* roll = device->findValue(QStringLiteral("PeltoAntSettings_RollDiameter"));
    EXPECT_EQ(roll->type, RegType::ExpandString);
    EXPECT_EQ(readText(*roll), QStringLiteral("28,6"));
}

TEST(HiveDocument, FindsKeysAndValuesRegardlessOfCaseAndKnowsImplicitParents)
{
    const HiveDocument doc = fixture();
    const HiveKey* key = doc.findKey(QStringLiteral("\\software\\KORVANE\\pelto\\calibration\\tavor5\\"));
    ASSERT_NE(key, nullptr);
    EXPECT_NE(key->findValue(QStringLiteral("SPEED1")), nullptr);
    EXPECT_TRUE(doc.keyExists(QStringLiteral("Software\\Korvane\\Pelto")));
    EXPECT_EQ(doc.findKey(QStringLiteral("Software\\Korvane\\Pelto")), nullptr);
    EXPECT_FALSE(doc.keyExists(QStringLiteral("Software\\Korvane\\Pelt")));
    EXPECT_FALSE(doc.keyExists(QStringLiteral("Software\\Korvane\\Pelto\\Calibration\\Tavor6")));
    EXPECT_THROW(doc.findKey(QStringLiteral("Software\\\\Korvane")), HiveError);
}

TEST(HiveDocument, ReadingTextOfANonStringValueIsAnError)
{
    const HiveDocument doc = fixture();
    const HiveValue* dword = doc.findKey(QString::fromLatin1(Device))->findValue(QStringLiteral("Dw"));
    try {
        readText(*dword);
        FAIL() << "no error";
    } catch (const HiveError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Invalid data type for 'Dw'"));
    }
}

TEST(HiveDocument, WritesAnUnchangedFileBackByteForByte)
{
    const QByteArray original = dataFile("wine-user.reg");
    EXPECT_EQ(HiveDocument::parse(original, QStringLiteral("user.reg")).serialize(0), original);
}

// A key that changed is written anew the way Wine writes it: the fixture's own lines are the
// expected bytes for every kind of value (escapes, str(N), dword, hex line breaks).
TEST(HiveDocument, WritesAChangedKeyAsWineDoes)
{
    const QByteArray original = dataFile("wine-user.reg");
    HiveDocument doc = HiveDocument::parse(original, QStringLiteral("user.reg"));
    doc.setValue(QString::fromLatin1(Tavor5), HiveValue::string(QStringLiteral("speed1"), QStringLiteral("20")));
    const std::int64_t time = 1796864248; // the key's time in the fixture
    QByteArray expected = original;
    expected.replace("#time=1dd88416dadc008", "#time=1dd88416d5c4c00");
    EXPECT_EQ(doc.serialize(time), expected);
}

TEST(HiveDocument, TextSurvivesWritingAndReadingBack)
{
    const QString texts[] = {
        QStringLiteral(""),
        QStringLiteral("plain"),
        QStringLiteral("quote \" backslash \\ brackets [ ]"),
        QString::fromUtf16(u"tab\tnewline\ncr\rbell\aesc\u001b"),
        QString::fromUtf16(u"\u0001" "7 octal before a digit, \u0002 before a letter"),
        QString::fromUtf16(u"\u00e9a hex digit after, \u00e9 blank after, \u65e5\u672c\u00ff"),
        QString::fromUtf16(u"surrogates \U0001F6B2 and DEL \u007f"),
    };
    HiveDocument doc;
    for (const QString& text : texts) {
        doc.setValue(QStringLiteral("Key [x]\\") + text.left(3).remove(u'\\'), HiveValue::string(text, text));
    }
    const HiveDocument back = HiveDocument::parse(doc.serialize(1), QStringLiteral("user.reg"));
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        const HiveKey* key = back.findKey(QStringLiteral("Key [x]\\") + text.left(3).remove(u'\\'));
        ASSERT_NE(key, nullptr);
        const HiveValue* value = key->findValue(text);
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->name, text);
        EXPECT_EQ(value->text(), text);
    }
}

TEST(HiveDocument, EditsKeepOtherKeysAndKeepParentsExisting)
{
    HiveDocument doc = fixture();
    doc.setValue(QStringLiteral("Software\\Korvane\\Pelto\\Calibration\\Tavor7"),
        HiveValue::string(QStringLiteral("Speed1"), QStringLiteral("25")));
    EXPECT_TRUE(doc.deleteValue(QString::fromLatin1(Tavor5), QStringLiteral("speed2")));
    EXPECT_FALSE(doc.deleteValue(QString::fromLatin1(Tavor5), QStringLiteral("Speed9")));
    EXPECT_TRUE(doc.deleteKey(QStringLiteral("Software\\Wine\\Fonts")));
    EXPECT_FALSE(doc.deleteKey(QStringLiteral("Software\\Wine\\Fonts")));
    // Calibration had no section of its own; deleting all of its subkeys leaves it existing.
    EXPECT_TRUE(doc.deleteKey(QStringLiteral("Software\\Korvane\\Pelto\\Calibration\\Tavor4.5")));
    EXPECT_TRUE(doc.deleteKey(QString::fromLatin1(Tavor5)));
    EXPECT_TRUE(doc.deleteKey(QStringLiteral("Software\\Korvane\\Pelto\\Calibration\\Tavor7")));
    EXPECT_TRUE(doc.changed());

    const HiveDocument back = HiveDocument::parse(doc.serialize(1), QStringLiteral("user.reg"));
    EXPECT_TRUE(back.keyExists(QStringLiteral("Software\\Korvane\\Pelto\\Calibration")));
    EXPECT_FALSE(back.keyExists(QStringLiteral("Software\\Wine\\Fonts\\External Fonts")));
    EXPECT_TRUE(back.keyExists(QStringLiteral("Software\\Wine\\DllOverrides")));
    EXPECT_EQ(back.findKey(QString::fromLatin1(Device))->findValue(QStringLiteral("Dw"))->data,
        QByteArray::fromHex("07000000"));
    EXPECT_THROW(doc.deleteKey(QStringLiteral("\\")), HiveError);
}

TEST(HiveDocument, NewKeysGoToTheirSortedPlace)
{
    HiveDocument doc = fixture();
    doc.setValue(QStringLiteral("Software\\Korvane\\Pelto\\Calibration\\Tavor4"), HiveValue::string("Speed1", "1"));
    const auto at = [&doc](const char* path) {
        const auto& keys = doc.keys();
        return std::find_if(keys.begin(), keys.end(), [path](const HiveKey& k) { return k.path == QLatin1String(path); })
            - keys.begin();
    };
    EXPECT_EQ(at("Software\\Korvane\\Pelto\\Calibration\\Tavor4") + 1,
        at("Software\\Korvane\\Pelto\\Calibration\\Tavor4.5"));

    // Several new keys, added in any order, each before the first key that sorts after it; a new
    // key is found, changed and deleted like any other before the order is asked for.
    doc.setValue(QStringLiteral("Software\\Korvane\\Pelto\\Calibration\\Tavor40"), HiveValue::string("Speed1", "1"));
    doc.setValue(QStringLiteral("Software\\Korvane\\Pelto\\Calibration\\Tavor3"), HiveValue::string("Speed1", "1"));
    doc.setValue(QStringLiteral("Software\\Korvane\\Pelto\\Calibration\\Tavor39"), HiveValue::string("Speed1", "1"));
    doc.setValue(QStringLiteral("software\\korvane\\pelto\\calibration\\tavor40"), HiveValue::string("Speed2", "2"));
    EXPECT_TRUE(doc.deleteKey(QStringLiteral("Software\\Korvane\\Pelto\\Calibration\\Tavor39")));
    doc.setValue(QStringLiteral("Software\\Korvane\\Pelto\\Calibration\\Tavor41"), HiveValue::string("Speed1", "1"));
    EXPECT_EQ(doc.findKey(QStringLiteral("Software\\Korvane\\Pelto\\Calibration\\Tavor40"))->values().size(), 2U);
    const char* const order[] = { "Tavor3", "Tavor4", "Tavor4.5", "Tavor40", "Tavor41", "Tavor5" };
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        const QByteArray key = QByteArray("Software\\Korvane\\Pelto\\Calibration\\") + order[i];
        const QByteArray next = QByteArray("Software\\Korvane\\Pelto\\Calibration\\") + order[i + 1];
        EXPECT_EQ(at(key.constData()) + 1, at(next.constData())) << order[i];
    }
    EXPECT_EQ(at("Software\\Korvane\\Pelto\\Calibration\\Tavor39"), static_cast<std::ptrdiff_t>(doc.keys().size()));
}

TEST(HiveDocument, RejectsFilesThatAreNoWineHive)
{
    const QByteArray notHives[] = { dataFile("regedit-export-utf16.reg"), "REGEDIT4\n[HKEY_CURRENT_USER\\x]\n",
        "WINE REGISTRY Version 1\n" };
    for (const QByteArray& bytes : notHives)
        EXPECT_THROW(HiveDocument::parse(bytes, QStringLiteral("user.reg")), HiveError);
    EXPECT_FALSE(HiveDocument::parse(QByteArray(), QStringLiteral("user.reg")).keyExists(QStringLiteral("x")));
}

// Wine skips lines it cannot read; so do we, and a rewrite keeps them as they were.
TEST(HiveDocument, KeepsUnreadableLinesAndSkipsThem)
{
    const QByteArray text = "WINE REGISTRY Version 2\n\n"
                            "[A] 1\n#class=\"c\"\n\"Good\"=\"1\"\n\"Open\"=\"no end\n\"Hex\"=hex:zz\n"
                            "\"Cont\"=hex:01,\\\n  02\ngarbage\n\"Cr\"=\"1\"\r\r\n\n"
                            "[Unclosed 2\n\"X\"=\"1\"\n\n"
                            "[A] 3\n\"Good\"=\"2\"\n";
    HiveDocument doc = HiveDocument::parse(text, QStringLiteral("user.reg"));
    const HiveKey* a = doc.findKey(QStringLiteral("A"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->findValue(QStringLiteral("Good"))->text(), QStringLiteral("2")); // the later section wins
    EXPECT_EQ(a->findValue(QStringLiteral("Open")), nullptr);
    EXPECT_EQ(a->findValue(QStringLiteral("Hex")), nullptr);
    EXPECT_EQ(a->findValue(QStringLiteral("Cont"))->data, QByteArray::fromHex("0102"));
    EXPECT_EQ(a->findValue(QStringLiteral("Cr")), nullptr);
    EXPECT_FALSE(doc.keyExists(QStringLiteral("Unclosed 2")));

    doc.setValue(QStringLiteral("A"), HiveValue::string(QStringLiteral("New"), QStringLiteral("3")));
    const QByteArray written = doc.serialize(5);
    // Rewritten, an unreadable line stays unreadable (its stray carriage return included).
    EXPECT_EQ(HiveDocument::parse(written, QStringLiteral("user.reg")).findKey(QStringLiteral("A"))->findValue(QStringLiteral("Cr")), nullptr);
    for (const char* kept : { "#class=\"c\"", "\"Open\"=\"no end", "\"Hex\"=hex:zz", "garbage", "[Unclosed 2\n\"X\"=\"1\"" })
        EXPECT_TRUE(written.contains(kept)) << kept;
    EXPECT_EQ(written.count("[A] 5"), 1);
}

// A value looked up before its key is read whole comes from the key's lines that name it; it must
// be the value reading the whole key gives: the first readable line's spelling, the last readable
// line's data, and no value from lines that are not readable ones.
TEST(HiveDocument, LooksUpAValueAsReadingTheWholeKeyFindsIt)
{
    const QByteArray text = "WINE REGISTRY Version 2\n\n"
                            "[K] 1\n#time=1\n"
                            "@=\"first default\"\n"
                            "\"Dup\"=\"one\"\n\"dup\"=\"two\"\n\"DUP\"=hex:zz\n"
                            "\"Late\"=garbage\n\"LATE\"=\"ok\"\n\"late\"=dword:00000005\n"
                            "\"Only\"=hex:zz\n"
                            "  \"Indented\"=\"i\"\n"
                            "\"Cont\"=hex:01,02,\\\n  03\n"
                            "\"Broken\"=hex:01,\\\n\"Next\"=\"n\"\n"
                            "\"\\x41xyz\"=\"escaped\"\n"
                            "\"Cr\"=\"1\"\r\r\n\"Crlf\"=\"2\"\r\n"
                            "\"NoEquals\"\n"
                            "@=\"second default\"\n";
    struct Case {
        const char* query;
        const char* name; // nullptr: no such value
        std::uint32_t type;
        QByteArray data;
    };
    const auto string = [](std::u16string_view s) { return utf16(s) + QByteArray(2, 0); };
    const Case cases[] = {
        { "", "", RegType::String, string(u"second default") },
        { "DUP", "Dup", RegType::String, string(u"two") },
        { "late", "LATE", RegType::DWord, QByteArray::fromHex("05000000") },
        { "Only", nullptr, 0, {} },
        { "indented", "Indented", RegType::String, string(u"i") },
        { "cont", "Cont", RegType::Binary, QByteArray::fromHex("010203") },
        { "Broken", nullptr, 0, {} },
        { "NEXT", "Next", RegType::String, string(u"n") },
        { "axyz", "Axyz", RegType::String, string(u"escaped") },
        { "Cr", nullptr, 0, {} },
        { "crlf", "Crlf", RegType::String, string(u"2") },
        { "NoEquals", nullptr, 0, {} },
        { "Missing", nullptr, 0, {} },
    };
    for (const bool readWholeKeyFirst : { false, true }) {
        const HiveDocument doc = HiveDocument::parse(text, QStringLiteral("user.reg"));
        const HiveKey* key = doc.findKey(QStringLiteral("K"));
        ASSERT_NE(key, nullptr);
        if (readWholeKeyFirst) {
            EXPECT_EQ(key->values().size(), 8U);
        }
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.query) + (readWholeKeyFirst ? " (key read whole)" : " (looked up)"));
            const HiveValue* value = key->findValue(QString::fromLatin1(c.query));
            if (!c.name) {
                EXPECT_EQ(value, nullptr);
                continue;
            }
            ASSERT_NE(value, nullptr);
            EXPECT_EQ(value->name, QString::fromLatin1(c.name));
            EXPECT_EQ(value->type, c.type);
            EXPECT_EQ(value->data.toHex(), c.data.toHex());
        }
        EXPECT_EQ(doc.serialize(0), text);
    }
}

// A key with many values is searched through an index: it must find, replace and delete exactly as
// the case-insensitive comparison of names does, also after positions shift.
TEST(HiveDocument, FindsValuesOfALargeKeyRegardlessOfCase)
{
    QByteArray text = "WINE REGISTRY Version 2\n\n[Big] 1\n";
    for (int i = 0; i < 200; ++i)
        text += "\"Value" + QByteArray::number(i) + "\"=\"" + QByteArray::number(i) + "\"\n";
    // Later lines of the same name in another case replace the value and keep its first spelling:
    // ASCII, a Latin-1 letter, the Kelvin sign (folds to k) and a letter beyond 16 bits.
    text += "\"VALUE7\"=\"seven\"\n\"\\x00c4rger\"=\"1\"\n\"\\x00e4RGER\"=\"2\"\n\"\\x212a\"=\"K\"\n\"k\"=\"k\"\n"
            "\"\\xd801\\xdc00\"=\"D\"\n\"\\xd801\\xdc28\"=\"d\"\n";
    HiveDocument doc = HiveDocument::parse(text, QStringLiteral("user.reg"));
    const HiveKey* big = doc.findKey(QStringLiteral("Big"));
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->values().size(), 203U);
    struct Case {
        QString name;
        const char* text;
        QString storedName;
    };
    const Case cases[] = {
        { QStringLiteral("value7"), "seven", QStringLiteral("Value7") },
        { QStringLiteral("VALUE199"), "199", QStringLiteral("Value199") },
        { QString::fromUtf16(u"\u00e4rger"), "2", QString::fromUtf16(u"\u00c4rger") },
        { QStringLiteral("K"), "k", QString::fromUtf16(u"\u212a") },
        { QString::fromUtf16(u"\U00010428"), "d", QString::fromUtf16(u"\U00010400") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const HiveValue* value = big->findValue(c.name);
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->text(), QLatin1String(c.text));
        EXPECT_EQ(value->name, c.storedName);
    }
    EXPECT_EQ(big->findValue(QStringLiteral("Value200")), nullptr);

    EXPECT_TRUE(doc.deleteValue(QStringLiteral("big"), QStringLiteral("VALUE0")));
    EXPECT_FALSE(doc.deleteValue(QStringLiteral("big"), QStringLiteral("value0")));
    doc.setValue(QStringLiteral("Big"), HiveValue::string(QStringLiteral("value150"), QStringLiteral("new")));
    const HiveDocument back = HiveDocument::parse(doc.serialize(2), QStringLiteral("user.reg"));
    const HiveKey* again = back.findKey(QStringLiteral("Big"));
    EXPECT_EQ(again->values().size(), 202U);
    EXPECT_EQ(again->findValue(QStringLiteral("Value150"))->text(), QStringLiteral("new"));
    EXPECT_EQ(again->findValue(QStringLiteral("value199"))->text(), QStringLiteral("199"));
}
