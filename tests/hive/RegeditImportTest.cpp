#include "hive/HiveError.h"
#include "hive/RegeditImport.h"

#include "HiveTestData.h"

#include <gtest/gtest.h>

using namespace caltrix::hive;

// The registry editor's export of the same keys gives the same values as Wine's own file.
TEST(RegeditImport, AnExportImportsAsWineStoresIt)
{
    HiveDocument imported;
    const RegeditImport result = importRegedit(dataFile("regedit-export-utf16.reg"), QStringLiteral("export.reg"), imported);
    EXPECT_EQ(result.valuesSet, 17);
    EXPECT_TRUE(result.skippedKeys.isEmpty());
    const HiveDocument wine = HiveDocument::parse(dataFile("wine-user.reg"), QStringLiteral("user.reg"));
    for (const char* path : { "Software\\Korvane\\Pelto\\Calibration\\Tavor4.5", "Software\\Korvane\\Pelto\\Calibration\\Tavor5",
             "Software\\Korvane\\Pelto\\TavorDevicePeltoAnt" }) {
        SCOPED_TRACE(path);
        const HiveKey* key = imported.findKey(QLatin1String(path));
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->values(), wine.findKey(QLatin1String(path))->values());
    }
    // Keys named only as parents exist through their subkeys, as in Wine's file.
    EXPECT_TRUE(imported.keyExists(QStringLiteral("Software\\Korvane\\Pelto\\Calibration")));
    EXPECT_EQ(imported.findKey(QStringLiteral("Software\\Korvane\\Pelto\\Calibration")), nullptr);
}

TEST(RegeditImport, AppliesDeletionsAndLeavesOutOtherRoots)
{
    HiveDocument doc = HiveDocument::parse("WINE REGISTRY Version 2\n\n[Old] 1\n\"A\"=\"1\"\n\n[Keep] 1\n\"Gone\"=\"1\"\n\"Stay\"=\"1\"\n",
        QStringLiteral("user.reg"));
    const QByteArray export4 = "REGEDIT4\r\n\r\n; a comment\r\n[-HKEY_CURRENT_USER\\Old]\r\n\r\n"
                               "[HKEY_CURRENT_USER\\Keep]\r\n\"Gone\"=-\r\n\"Path\"=hex(2):43,3a,5c,e9,00\r\n\r\n"
                               "[HKEY_LOCAL_MACHINE\\Software\\X]\r\n\"Y\"=\"1\"\r\n[HKEY_CURRENT_USER\\Empty]\r\n";
    const RegeditImport result = importRegedit(export4, QStringLiteral("old.reg"), doc);
    EXPECT_EQ(result.keysDeleted, 1);
    EXPECT_EQ(result.valuesDeleted, 1);
    EXPECT_EQ(result.valuesSet, 1);
    EXPECT_EQ(result.skippedKeys, QStringList { QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\X") });
    EXPECT_FALSE(doc.keyExists(QStringLiteral("Old")));
    const HiveKey* keep = doc.findKey(QStringLiteral("Keep"));
    ASSERT_NE(keep, nullptr);
    EXPECT_EQ(keep->findValue(QStringLiteral("Gone")), nullptr);
    EXPECT_NE(keep->findValue(QStringLiteral("Stay")), nullptr);
    EXPECT_EQ(keep->findValue(QStringLiteral("Path"))->text(), QString::fromUtf16(u"C:\\\u00e9"));
    EXPECT_FALSE(doc.keyExists(QStringLiteral("Software\\X")));
    EXPECT_NE(doc.findKey(QStringLiteral("Empty")), nullptr);
}

TEST(RegeditImport, ABadFileChangesNothing)
{
    HiveDocument doc;
    doc.setValue(QStringLiteral("K"), HiveValue::string(QStringLiteral("V"), QStringLiteral("1")));
    const QByteArray before = doc.serialize(1);
    const std::pair<QByteArray, QString> bad[] = {
        { "WINE REGISTRY Version 2\n", QStringLiteral("is not a registry editor export") },
        { "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"V\"=\"2\"\nnonsense\n", QStringLiteral("line 4") },
        { "REGEDIT4\n[HKEY_CURRENT_USER\\K\n", QStringLiteral("line 2") },
    };
    for (const auto& [bytes, expected] : bad) {
        try {
            importRegedit(bytes, QStringLiteral("bad.reg"), doc);
            ADD_FAILURE() << bytes.constData();
        } catch (const HiveError& e) {
            EXPECT_TRUE(e.message().contains(expected)) << e.what();
        }
        EXPECT_EQ(doc.serialize(1), before);
    }
}
