#include "LockHolder.h"
#include "calibration/MapCalibration.h"
#include "hive/Hive.h"
#include "platform/Error.h"
#include "platform/Platform.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace caltrix;
using namespace caltrix::calibration;

namespace {

const QString Base = QStringLiteral("Software\\Korvane\\Pelto\\Calibration");
const QString Key5 = Base + QStringLiteral("\\Tavor5");
const QString Legacy = QStringLiteral("MapCalibrationTavor5_");

class MapCalibration : public ::testing::Test {
protected:
    QString stored(const QString& key, const QString& name)
    {
        const auto value = hive.value(key, name);
        return value ? value->text() : QStringLiteral("<none>");
    }

    void store(const QString& key, const QString& name, const QString& text) { hive.writeString(key, name, text); }

    // The message of the error `action` fails with, and of its nested cause when it has one.
    static QString failure(const std::function<void()>& action)
    {
        try {
            action();
        } catch (const platform::Error& e) {
            return e.message();
        }
        return QStringLiteral("<no error>");
    }

    QTemporaryDir dir;
    hive::Hive hive { dir.filePath(QStringLiteral("user.reg")) };
    TMapCalibration store5 { nullptr };
};

const char* const AllNames[] = { "CalibrationP1", "CalibrationP2", "CalibrationP3", "Speed1", "Speed2", "Speed3",
    "Resist1", "Resist2", "Resist3", "P1MaxValue", "P2MaxValue", "P3MaxValue", "P1MinValue", "P2MinValue",
    "P3MinValue", "UseMapCalibration" };

} // namespace

TEST_F(MapCalibration, AFreshStoreSavesSixteenStartValues)
{
    TMapCalibration store(nullptr);
    store.SetTavorVersion(5.5);
    EXPECT_TRUE(store.SaveSettings(hive, Base));
    const hive::HiveKey* key = hive.document()->findKey(Base + QStringLiteral("\\Tavor5.5"));
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->values().size(), 16U);
    for (const char* name : AllNames) {
        const hive::HiveValue* value = key->findValue(QLatin1String(name));
        ASSERT_NE(value, nullptr) << name;
        EXPECT_EQ(value->type, hive::RegType::String);
        EXPECT_EQ(value->text(), QLatin1String(name) == QLatin1String("UseMapCalibration") ? "False" : "0") << name;
    }
}

TEST_F(MapCalibration, LoadsWhatItSaved)
{
    TMapCalibration saved(nullptr);
    saved.SetTavorVersion(4.5);
    saved.SetCalibrationP1(101);
    saved.SetCalibrationP3(-3);
    saved.SetSpeed2(25);
    saved.SetResist2(7);
    saved.SetResist3(9);
    saved.SetP2MaxValue(2000);
    saved.SetP3MinValue(-5);
    saved.SetUseMapCalibration(true);
    saved.SaveSettings(hive, Base + QLatin1Char('\\')); // with or without the backslash: the same key

    TMapCalibration loaded(nullptr);
    loaded.SetTavorVersion(4.5);
    loaded.SetSpeed1(99); // a missing value loads as 0, stored ones overwrite
    hive.deleteValue(Base + QStringLiteral("\\Tavor4.5"), QStringLiteral("Speed1"));
    EXPECT_TRUE(loaded.LoadSettings(hive, Base));
    EXPECT_EQ(loaded.CalibrationP1(), 101);
    EXPECT_EQ(loaded.CalibrationP3(), -3);
    EXPECT_EQ(loaded.Speed1(), 0);
    EXPECT_EQ(loaded.Speed2(), 25);
    EXPECT_EQ(loaded.Resist2(), 7);
    EXPECT_EQ(loaded.Resist3(), 9);
    EXPECT_EQ(loaded.P2MaxValue(), 2000);
    EXPECT_EQ(loaded.P3MinValue(), -5);
    EXPECT_TRUE(loaded.UseMapCalibration());

    store(Base + QStringLiteral("\\Tavor4.5"), QStringLiteral("UseMapCalibration"), QStringLiteral("true"));
    loaded.LoadSettings(hive, Base);
    EXPECT_FALSE(loaded.UseMapCalibration()); // only "True" exactly
}

TEST_F(MapCalibration, ModelTable)
{
    const std::pair<double, const char*> known[] = { { 1, "Tavor1" }, { 4, "Tavor4" }, { 4.5, "Tavor4.5" },
        { 5.5, "Tavor5.5" }, { 7, "Tavor7" }, { 9, "Tavor9" }, { 11, "Tavor11" } };
    for (const auto& [model, name] : known)
        EXPECT_EQ(GetKeyDeviceName(model), QLatin1String(name));
    platform::ScopedLocale german { QLocale(QLocale::German) };
    EXPECT_EQ(failure([] { GetKeyDeviceName(8); }), QStringLiteral("Error in TMapCalibration.GetKeyDeviceName: No key name for 8,0"));
}

TEST_F(MapCalibration, UnknownModelsFailBeforeWritingButAfterTheMigration)
{
    store(Key5, Legacy + QStringLiteral("Speed1"), QStringLiteral("12"));
    for (double model : { 0.0, 8.0, 12.0 }) {
        platform::ScopedLocale english { QLocale(QLocale::English) };
        TMapCalibration store(nullptr);
        store.SetTavorVersion(model);
        const QString expected
            = QStringLiteral("Error in TMapCalibration.GetKeyDeviceName: No key name for %1").arg(model, 0, 'f', 1);
        EXPECT_EQ(failure([&] { store.SaveSettings(hive, Base); }), expected);
        EXPECT_EQ(failure([&] { store.LoadSettings(hive, Base); }), expected);
    }
    EXPECT_EQ(stored(Key5, QStringLiteral("Speed1")), QStringLiteral("12"));
    EXPECT_EQ(stored(Key5, Legacy + QStringLiteral("Speed1")), QStringLiteral("<none>"));
    EXPECT_FALSE(hive.document()->keyExists(Base + QStringLiteral("\\Tavor8")));
}

// The older model 5 layout moves to the plain names. Plain values without a legacy counterpart
// keep their values (the store once reset them to 0).
TEST_F(MapCalibration, MigratesTheOldModel5Layout)
{
    store(Key5, QStringLiteral("Speed1"), QStringLiteral("30"));
    store(Key5, Legacy + QStringLiteral("Speed2"), QStringLiteral("25"));
    store(Key5, Legacy + QStringLiteral("UseMapCalibration"), QStringLiteral("True"));
    store(Key5, QStringLiteral("Unrelated"), QStringLiteral("kept"));
    store5.SetTavorVersion(5);
    EXPECT_TRUE(store5.LoadSettings(hive, Base));

    const hive::HiveKey* key = hive.document()->findKey(Key5);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->values().size(), 17U); // sixteen plain values and the unrelated one
    EXPECT_EQ(stored(Key5, QStringLiteral("Speed1")), QStringLiteral("30"));
    EXPECT_EQ(stored(Key5, QStringLiteral("Speed2")), QStringLiteral("25"));
    EXPECT_EQ(stored(Key5, QStringLiteral("Resist3")), QStringLiteral("0"));
    EXPECT_EQ(stored(Key5, QStringLiteral("UseMapCalibration")), QStringLiteral("True"));
    EXPECT_EQ(stored(Key5, QStringLiteral("Unrelated")), QStringLiteral("kept"));
    EXPECT_EQ(store5.Speed1(), 30);
    EXPECT_EQ(store5.Speed2(), 25);
    EXPECT_TRUE(store5.UseMapCalibration());

    // Nothing is left to migrate: a second load writes nothing.
    const auto before = hive.document();
    store5.LoadSettings(hive, Base);
    EXPECT_EQ(hive.document()->keys().size(), before->keys().size());
}

// A legacy value that is no number stops the migration before anything is deleted.
TEST_F(MapCalibration, AFailedMigrationLosesNothing)
{
    store(Key5, Legacy + QStringLiteral("Speed1"), QStringLiteral("20"));
    store(Key5, Legacy + QStringLiteral("Speed2"), QStringLiteral("fast"));
    store5.SetTavorVersion(5);
    try {
        store5.LoadSettings(hive, Base);
        FAIL() << "loaded";
    } catch (const platform::Error& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Error in TMapCalibration.UpdateExistingOldKeysOfTavor5"));
        try {
            std::rethrow_if_nested(e);
            FAIL() << "no cause";
        } catch (const platform::Error& cause) {
            EXPECT_EQ(cause.message(), QStringLiteral("'fast' is not a valid integer value"));
        }
    }
    EXPECT_EQ(stored(Key5, Legacy + QStringLiteral("Speed1")), QStringLiteral("20"));
    EXPECT_EQ(stored(Key5, Legacy + QStringLiteral("Speed2")), QStringLiteral("fast"));
    EXPECT_EQ(stored(Key5, QStringLiteral("Speed1")), QStringLiteral("<none>"));
}

TEST_F(MapCalibration, ALoadStopsAtAValueThatIsNoNumber)
{
    const QString key = Base + QStringLiteral("\\Tavor6");
    store(key, QStringLiteral("CalibrationP1"), QStringLiteral("11"));
    store(key, QStringLiteral("Speed2"), QStringLiteral("x"));
    store(key, QStringLiteral("Resist1"), QStringLiteral("4"));
    TMapCalibration loaded(nullptr);
    loaded.SetTavorVersion(6);
    EXPECT_EQ(failure([&] { loaded.LoadSettings(hive, Base); }), QStringLiteral("Error in TMapCalibration.DoLoadSettings"));
    EXPECT_EQ(loaded.CalibrationP1(), 11); // loaded before the bad value
    EXPECT_EQ(loaded.Resist1(), 0); // after it

    // A number stored as a DWORD is not read as one.
    hive.edit([&](hive::HiveDocument& doc) {
        doc.setValue(key, hive::HiveValue { QStringLiteral("Speed2"), hive::RegType::DWord, QByteArray::fromHex("05000000") });
    });
    EXPECT_EQ(failure([&] { loaded.LoadSettings(hive, Base); }), QStringLiteral("Error in TMapCalibration.DoLoadSettings"));
}

// Writing all sixteen values is one change of the file: it happens wholly or fails with an error.
TEST_F(MapCalibration, AFailedSaveIsReportedAndChangesNothing)
{
    store5.SetTavorVersion(5);
    store5.SetSpeed1(22);
    const LockHolder other(hive.filePath() + QStringLiteral(".lock"));
    hive.setLockTimeout(std::chrono::milliseconds(0));
    EXPECT_EQ(failure([&] { store5.SaveSettings(hive, Base); }), QStringLiteral("Error in TMapCalibration.DoSaveSettings"));
    EXPECT_FALSE(hive.document()->keyExists(Key5));
    EXPECT_FALSE(WriteRegString(hive, Key5, QStringLiteral("Speed1"), true, QStringLiteral("1")));
}

TEST_F(MapCalibration, RegistryHelpers)
{
    EXPECT_EQ(WithTrailingBackslash(QString()), QString());
    EXPECT_EQ(WithTrailingBackslash(QStringLiteral("a\\")), QStringLiteral("a\\"));
    EXPECT_EQ(WithTrailingBackslash(QStringLiteral("a")), QStringLiteral("a\\"));

    EXPECT_EQ(ReadRegString(hive, Key5, QStringLiteral("Speed1")), QStringLiteral("0")); // no key
    EXPECT_FALSE(WriteRegString(hive, Key5, QStringLiteral("Speed1"), false, QStringLiteral("1")));
    EXPECT_TRUE(WriteRegString(hive, Key5, QStringLiteral("Speed1"), true, QStringLiteral("")));
    EXPECT_EQ(ReadRegString(hive, Key5, QStringLiteral("Speed1")), QStringLiteral("0")); // empty
    EXPECT_TRUE(RegValueExists(hive, Key5, QStringLiteral("Speed1")));
    EXPECT_TRUE(WriteRegString(hive, Key5, QStringLiteral("Speed1"), false, QStringLiteral("7")));
    EXPECT_EQ(ReadRegString(hive, Key5, QStringLiteral("speed1")), QStringLiteral("7"));
    EXPECT_TRUE(DeleteRegValue(hive, Key5, QStringLiteral("Speed1")));
    EXPECT_FALSE(DeleteRegValue(hive, Key5, QStringLiteral("Speed1")));
    EXPECT_FALSE(RegValueExists(hive, Key5, QStringLiteral("Speed1")));
    EXPECT_EQ(ReadRegString(hive, Key5, QStringLiteral("Speed1")), QStringLiteral("0"));
}

TEST_F(MapCalibration, AssignCopiesTheCalibrationButNotTheLimits)
{
    TMapCalibration source(nullptr);
    source.SetCalibrationP2(5);
    source.SetSpeed3(33);
    source.SetResist2(8);
    source.SetTavorVersion(7);
    source.SetUseMapCalibration(true);
    source.SetUseConsoleValues(true);
    source.SetP1MaxValue(100);
    source.SetP3MinValue(1);
    TMapCalibration target(nullptr);
    target.SetP1MaxValue(50);
    target.Assign(&source);
    EXPECT_EQ(target.CalibrationP2(), 5);
    EXPECT_EQ(target.Speed3(), 33);
    EXPECT_EQ(target.Resist2(), 8);
    EXPECT_EQ(target.TavorVersion(), 7.0);
    EXPECT_TRUE(target.UseMapCalibration());
    EXPECT_FALSE(target.UseConsoleValues());
    EXPECT_EQ(target.P1MaxValue(), 50);
    EXPECT_EQ(target.P3MinValue(), 0);

    platform::TComponent other(nullptr);
    EXPECT_EQ(failure([&] { target.Assign(&other); }), QStringLiteral("Cannot assign a TComponent to a TMapCalibration"));
}

TEST_F(MapCalibration, StoredFormLeavesOutDefaults)
{
    TMapCalibration store(nullptr);
    store.SetName(QStringLiteral("MapCalibration1"));
    store.SetSpeed1(20);
    store.SetTavorVersion(4.5);
    store.SetP2MaxValue(0);
    const QString form = platform::writeComponent(store);
    EXPECT_EQ(form,
        QStringLiteral("object MapCalibration1: TMapCalibration\n  Speed1 = 20\n  TavorVersion = 4.5\n"
                       "  P1MaxValue = 0\n  P2MaxValue = 0\n  P3MaxValue = 0\n  P1MinValue = 0\n  P2MinValue = 0\n"
                       "  P3MinValue = 0\nend\n"));
    TMapCalibration read(nullptr);
    platform::readComponent(read, form);
    EXPECT_EQ(read.Speed1(), 20);
    EXPECT_EQ(read.TavorVersion(), 4.5);
}
