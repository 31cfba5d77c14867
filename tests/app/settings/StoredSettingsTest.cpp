#include "app/settings/StoredSettings.h"
#include "hive/CurrentUser.h"
#include "hive/HiveError.h"
#include "platform/Error.h"
#include "platform/Platform.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace caltrix;
using namespace caltrix::app;

namespace {

class StoredSettings : public ::testing::Test {
protected:
    // A hive with the device key and the calibration key of unit type 5 as the trainer software
    // leaves them (copied from a real Wine prefix).
    void useFixture() { ASSERT_TRUE(QFile::copy(QStringLiteral(CALTRIX_SETTINGS_TEST_DATA "/wine-user.reg"), path())); }

    void set(const QString& key, const QString& name, const char* text)
    {
        hive.writeString(key, name, QLatin1String(text));
    }

    // The message of the error `read` fails with.
    template <typename E>
    QString failure(const std::function<void()>& read)
    {
        try {
            read();
        } catch (const E& e) {
            return e.message();
        }
        return QStringLiteral("<no error>");
    }

    QString path() const { return dir.filePath(QStringLiteral("user.reg")); }

    QTemporaryDir dir;
    hive::Hive hive { path() };
    hive::ScopedCurrentUser user { hive };
    platform::ScopedLocale locale { QLocale(QLocale::German) };
};

const QString Tavor5 = CalibrationKeyOf(5);

} // namespace

TEST_F(StoredSettings, ReadsTheTrainerSoftwareSettings)
{
    useFixture();
    EXPECT_EQ(ReadUnitType(), 5);
    EXPECT_EQ(ReadRollDiameter(), 28.6L); // stored as an expandable string, not expanded
    EXPECT_EQ(ReadEventPerTurn(), 1);
    EXPECT_EQ(ReadTrainerDeviceNumber(), 1234);
    EXPECT_EQ(CalibrationKeyPath(), QStringLiteral("Software\\Korvane\\Pelto\\Calibration\\Tavor5"));
    EXPECT_EQ(ReadPresetSpeed(1), 20);
    EXPECT_EQ(ReadPresetSpeed(2), 30);
    EXPECT_EQ(ReadPresetResist(1), 3);
    EXPECT_EQ(ReadPresetResist(2), 5);
    EXPECT_EQ(ReadSpeedA(), 0);
    EXPECT_EQ(failure<platform::ConvertError>([] { ReadPresetSpeed(3); }), QStringLiteral("'' is not a valid integer value"));
    EXPECT_EQ(failure<platform::ConvertError>([] { ReadSpeedB(); }), QStringLiteral("'' is not a valid integer value"));
}

TEST_F(StoredSettings, MissingKeysReadAsZero)
{
    EXPECT_EQ(ReadUnitType(), 0);
    EXPECT_EQ(ReadRollDiameter(), 0.0L);
    EXPECT_EQ(ReadTrainerDeviceNumber(), 0);
    EXPECT_EQ(CalibrationKeyPath(), CalibrationKeyOf(0));
    EXPECT_EQ(ReadPresetSpeed(1), 0);
    EXPECT_EQ(ReadResistB(), 0);
    EXPECT_FALSE(QFile::exists(path())); // reading never creates anything
}

// Every calibration reader reads the unit type first.
TEST_F(StoredSettings, CalibrationReadersFailWithoutAUnitType)
{
    set(DeviceKeyPath, EventPerTurnName, "1");
    set(CalibrationKeyOf(0), PresetSpeedName(1), "20");
    const std::function<void()> readers[] = { [] { CalibrationKeyPath(); }, [] { ReadPresetSpeed(1); },
        [] { ReadPresetResist(1); }, [] { ReadSpeedA(); }, [] { ReadSpeedB(); }, [] { ReadResistA(); },
        [] { ReadResistB(); } };
    for (const auto& read : readers)
        EXPECT_EQ(failure<platform::ConvertError>(read), QStringLiteral("'' is not a valid integer value"));
}

TEST_F(StoredSettings, SpeedAIsZeroWhenMissingOrEmpty)
{
    set(DeviceKeyPath, UnitTypeName, "-1");
    const QString key = CalibrationKeyOf(-1);
    EXPECT_EQ(ReadSpeedA(), 0); // no key
    set(key, QStringLiteral("Other"), "1");
    EXPECT_EQ(ReadSpeedA(), 0); // no value
    const std::pair<const char*, std::int32_t> cases[] = { { "", 0 }, { "0", 0 }, { "17", 17 } };
    for (const auto& [text, expected] : cases) {
        set(key, SpeedAName, text);
        EXPECT_EQ(ReadSpeedA(), expected) << text;
    }
    set(key, SpeedAName, "x");
    EXPECT_EQ(failure<platform::ConvertError>([] { ReadSpeedA(); }), QStringLiteral("'x' is not a valid integer value"));
}

TEST_F(StoredSettings, RollDiameterUsesTheUserDecimalSeparator)
{
    set(DeviceKeyPath, RollDiameterName, "28,6");
    EXPECT_EQ(ReadRollDiameter(), 28.6L);
    platform::ScopedLocale english { QLocale(QLocale::English) };
    EXPECT_EQ(failure<platform::ConvertError>([] { ReadRollDiameter(); }),
        QStringLiteral("'28,6' is not a valid floating point value"));
}

TEST_F(StoredSettings, ANumberStoredAsDwordIsAnError)
{
    useFixture();
    hive.edit([](hive::HiveDocument& doc) {
        doc.setValue(DeviceKeyPath,
            hive::HiveValue { UnitTypeName, hive::RegType::DWord, QByteArray::fromHex("05000000") });
    });
    EXPECT_EQ(failure<hive::HiveError>([] { ReadUnitType(); }),
        QStringLiteral("Invalid data type for 'PeltoAntSettings_UnitType'"));
}

TEST_F(StoredSettings, AChangeIsSeenAtTheNextRead)
{
    useFixture();
    EXPECT_EQ(ReadPresetSpeed(2), 30);
    set(Tavor5, PresetSpeedName(2), "35");
    EXPECT_EQ(ReadPresetSpeed(2), 35);
    set(DeviceKeyPath, UnitTypeName, "4.5");
    EXPECT_EQ(failure<platform::ConvertError>([] { ReadPresetSpeed(1); }), QStringLiteral("'4.5' is not a valid integer value"));
}
