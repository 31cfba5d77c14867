#include "calibration/ResistanceMap.h"
#include "devicebase/EMVel.h"
#include "platform/Error.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace caltrix;
using namespace caltrix::calibration;
using devicebase::umKm;
using devicebase::umMiles;

namespace {

// Speeds 10, 20, 30 km/h; three levels.
const QStringList SampleMap = { QStringLiteral("\t10\t20\t30"), QStringLiteral("1\t50\t100\t150"),
    QStringLiteral("2\t80\t160\t240"), QStringLiteral("3\t110\t220\t330") };

std::unique_ptr<TResistanceMap> loadedMap(const QStringList& lines = SampleMap)
{
    auto map = std::make_unique<TResistanceMap>(nullptr);
    map->SetStrings(lines);
    map->LoadMap();
    return map;
}

QString failure(const std::function<void()>& action)
{
    try {
        action();
    } catch (const platform::Error& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

} // namespace

TEST(ResistanceMap, ParsesTheTableAndFindsThePowerRange)
{
    auto map = loadedMap();
    EXPECT_EQ(map->ColumnCount(), 4);
    ASSERT_EQ(map->Map().size(), 4U);
    EXPECT_EQ(map->Map()[0], (std::vector<double> { 0, 10, 20, 30 }));
    EXPECT_EQ(map->Map()[3], (std::vector<double> { 3, 110, 220, 330 }));
    map->ComputePowerRange();
    EXPECT_EQ(map->MinPower(), 50);
    EXPECT_EQ(map->MaxPower(), 330);
}

TEST(ResistanceMap, ClampsATargetPowerToTheMap)
{
    struct Case {
        long double speed;
        devicebase::TUnitMeasure units;
        std::int32_t target;
        std::uint8_t status;
        std::int32_t power;
    };
    const Case cases[] = {
        { 15, umKm, 300, 1, 165 }, // above the top level: the most at this speed
        { 15, umKm, 100, 3, 100 }, // between level 1 (75) and 2 (120)
        { 15, umKm, 60, 2, 75 }, // below level 1
        { 20, umKm, 10, 2, 100 }, // exactly a column's speed: that column alone
        { 20, umKm, 161, 3, 161 },
        { 40, umKm, 1000, 1, 330 }, // beyond the last speed: the last column
        { 5, umKm, 10, 2, 50 }, // below the first speed: the first column
        { 10, umMiles, 1000, 1, 177 }, // 16.09 km/h: 110 + 0.609 * 110 = 176.99
        { 0, umKm, 100, 0, -7 }, // standing still: Power unchanged
    };
    auto map = loadedMap();
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<double>(c.speed));
        std::int32_t power = -7;
        EXPECT_EQ(map->ClampTargetPower(c.speed, c.units, c.target, power), c.status);
        EXPECT_EQ(power, c.power);
    }
}

TEST(ResistanceMap, ALevelWithoutPowerInTheColumnIsNotTheTopLevel)
{
    auto map = loadedMap({ QStringLiteral("\t10\t20"), QStringLiteral("1\t50\t100"), QStringLiteral("2\t80\t160"),
        QStringLiteral("3\t110\t0") });
    std::int32_t power = 0;
    EXPECT_EQ(map->ClampTargetPower(20, umKm, 1000, power), 1);
    EXPECT_EQ(power, 160);
}

// Maps the lookup cannot answer are refused instead of reading outside the table.
TEST(ResistanceMap, RefusesMapsWithoutAnAnswer)
{
    const QStringList unusable[] = {
        { QStringLiteral("\t"), QStringLiteral("1") }, // no speed column
        { QStringLiteral("\t10\t20") }, // no level
        { QStringLiteral("\t10\t20"), QStringLiteral("1\t0\t0"), QStringLiteral("2\t0") }, // no power anywhere
    };
    for (const QStringList& lines : unusable) {
        auto map = loadedMap(lines);
        std::int32_t power = 5;
        try {
            map->ClampTargetPower(15, umKm, 100, power);
            ADD_FAILURE() << lines.join(u'|').toStdString();
        } catch (const devicebase::EMVel& e) {
            EXPECT_EQ(e.ErrorCode, 4);
        }
        EXPECT_EQ(power, 5);
    }
    TResistanceMap never(nullptr);
    std::int32_t power = 0;
    EXPECT_THROW(never.ClampTargetPower(15, umKm, 100, power), devicebase::EMVel);
}

TEST(ResistanceMap, APowerFallingAlongALevelIsAnError)
{
    auto map = loadedMap({ QStringLiteral("\t10\t20"), QStringLiteral("1\t100\t50") });
    std::int32_t power = 0;
    EXPECT_EQ(failure([&] { map->ClampTargetPower(15, umKm, 10, power); }), QStringLiteral("x1>x2 or y1>y2"));
}

TEST(ResistanceMap, AdapterScalesPowerCellsFromModel4On)
{
    auto map = loadedMap();
    map->SetResistanceMapAdapter(1.25);
    map->ApplyAdapter();
    EXPECT_EQ(map->Map()[1][1], 62.0); // 62.5 to the even neighbour
    EXPECT_EQ(map->Map()[3][1], 138.0); // 137.5
    EXPECT_EQ(map->Map()[0][1], 10.0); // the header is not scaled
    EXPECT_EQ(map->Map()[2][0], 2.0); // nor the label column

    auto old = loadedMap();
    old->SetTavorVersion(3.5);
    old->SetResistanceMapAdapter(1.25);
    old->ApplyAdapter();
    EXPECT_EQ(old->Map()[1][1], 50.0);
    old->ComputePowerRange();
    EXPECT_EQ(old->MinPower(), 1000000);
    EXPECT_EQ(old->MaxPower(), 0);

    map->SetResistanceMapAdapter(0);
    EXPECT_EQ(map->ResistanceMapAdapter(), 1.0);
}

TEST(ResistanceMap, CellsTakeACommaOrTheUserSeparator)
{
    for (const auto language : { QLocale::English, QLocale::German }) {
        platform::ScopedLocale locale { QLocale(language) };
        auto map = loadedMap({ QStringLiteral("\t10\t20\t30"), QStringLiteral("1\t12,5\t \t") });
        EXPECT_EQ(map->Map()[1][1], 12.5);
        EXPECT_EQ(map->Map()[1][2], 0.0);
        EXPECT_EQ(map->Map()[1][3], 0.0);
    }
    platform::ScopedLocale english { QLocale(QLocale::English) };
    EXPECT_EQ(loadedMap({ QStringLiteral("\t10"), QStringLiteral("1\t12.5\textra") })->Map()[1][1], 12.5);
}

TEST(ResistanceMap, ABadCellFailsWithTheMapError)
{
    TResistanceMap map(nullptr);
    int loaded = 0;
    map.OnResistanceMapLoaded = [&](platform::TObject* sender) {
        EXPECT_EQ(sender, &map);
        ++loaded;
    };
    map.SetStrings({ QStringLiteral("\t10\t20"), QStringLiteral("1\t50\tabc") });
    try {
        map.LoadMap();
        FAIL() << "loaded";
    } catch (const devicebase::EMVel& e) {
        EXPECT_EQ(e.ErrorCode, 4);
        EXPECT_EQ(e.message(),
            QStringLiteral("Error while reading the resistance map (Error code: 4)\r\nPlease, contact the Korvane "
                           "support\r\n\r\n'abc' is not a valid floating point value"));
    }
    EXPECT_EQ(loaded, 0);
    EXPECT_EQ(map.ColumnCount(), 3);
    EXPECT_EQ(map.Map()[1][1], 50.0); // parsed before the bad cell

    map.Strings().Put(1, QStringLiteral("1\t50\t60"));
    map.LoadMap();
    EXPECT_EQ(loaded, 1);
    map.OnResistanceMapLoaded = [](platform::TObject*) { throw platform::Error(QStringLiteral("handler")); };
    EXPECT_THROW(map.LoadMap(), devicebase::EMVel);

    TResistanceMap empty(nullptr);
    EXPECT_EQ(failure([&] { empty.LoadMap(); }), QStringLiteral("List index out of bounds (0)"));
}

TEST(ResistanceMap, LineChangesRaiseEventsButDoNotParse)
{
    TResistanceMap map(nullptr);
    QStringList events;
    map.OnChanging = [&](platform::TObject*) { events << QStringLiteral("changing"); };
    map.OnChange = [&](platform::TObject*) { events << QStringLiteral("change"); };
    map.Strings().Add(QStringLiteral("\t10"));
    EXPECT_EQ(events, (QStringList { "changing", "change" }));
    EXPECT_EQ(map.ColumnCount(), 0);
    EXPECT_TRUE(map.Map().empty());

    // Reading a stored form raises nothing.
    events.clear();
    map.Strings().Clear();
    events.clear();
    platform::readComponent(map, QStringLiteral("object Map1: TResistanceMap\n  StrData = (\n    'a'\n    'b')\nend\n"));
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(map.Strings().Lines(), (QStringList { "a", "b" }));
}

TEST(ResistanceMap, StoredFormKeepsTheLines)
{
    TResistanceMap map(nullptr);
    map.SetName(QStringLiteral("ResistanceMap1"));
    map.SetStrings(SampleMap);
    map.SetMaxPower(330);
    const QString form = platform::writeComponent(map);
    EXPECT_EQ(form,
        QStringLiteral("object ResistanceMap1: TResistanceMap\n  TavorVersion = 4\n  ResistanceMapAdapter = 1\n"
                       "  MaxPower = 330\n  StrData = (\n    #9'10'#9'20'#9'30'\n    '1'#9'50'#9'100'#9'150'\n"
                       "    '2'#9'80'#9'160'#9'240'\n    '3'#9'110'#9'220'#9'330')\nend\n"));
    TResistanceMap read(nullptr);
    platform::readComponent(read, form);
    EXPECT_EQ(read.Strings().Lines(), SampleMap);
    EXPECT_EQ(read.MaxPower(), 330);

    TResistanceMap empty(nullptr);
    EXPECT_FALSE(platform::writeComponent(empty).contains(QStringLiteral("StrData")));
}

TEST(ResistanceMap, LinesAreStoredOnlyWhenTheyDifferFromAnAncestor)
{
    TResistanceMap map(nullptr);
    TResistanceMap ancestor(nullptr);
    map.SetStrings({ QStringLiteral("Level\t1") });
    EXPECT_TRUE(map.HasStrData(nullptr));
    ancestor.SetStrings({ QStringLiteral("LEVEL\t1") });
    EXPECT_FALSE(map.HasStrData(&ancestor));
    ancestor.SetStrings({ QStringLiteral("LEVEL\t2") });
    EXPECT_TRUE(map.HasStrData(&ancestor));
    ancestor.SetStrings({ QStringLiteral("Level\t1"), QStringLiteral("x") });
    EXPECT_TRUE(map.HasStrData(&ancestor));
    map.SetStrings({});
    ancestor.SetStrings({});
    EXPECT_FALSE(map.HasStrData(&ancestor));
}

TEST(ResistanceMap, AssignCopiesLinesAndSettingsButNotTheTable)
{
    TMapCalibration calibration(nullptr);
    auto source = loadedMap();
    source->SetTavorVersion(5.5);
    source->SetResistanceMapAdapter(1.1);
    source->SetResistanceLatency(300);
    source->SetMinPower(50);
    source->SetMapCalibration(&calibration);

    TResistanceMap target(nullptr);
    int changes = 0;
    target.OnChange = [&](platform::TObject*) { ++changes; };
    target.Assign(source.get());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(target.Strings().Lines(), SampleMap);
    EXPECT_EQ(target.TavorVersion(), 5.5);
    EXPECT_EQ(target.ResistanceMapAdapter(), 1.1);
    EXPECT_EQ(target.ResistanceLatency(), 300);
    EXPECT_EQ(target.MinPower(), 50);
    EXPECT_EQ(target.MapCalibration(), &calibration);
    EXPECT_EQ(target.ColumnCount(), 0);

    TMapStrings lines;
    source->AssignTo(&lines);
    EXPECT_EQ(lines.Lines(), SampleMap);
    lines.SetLines({ QStringLiteral("x") });
    target.Assign(&lines);
    EXPECT_EQ(target.Strings().Lines(), QStringList { "x" });

    platform::TComponent other(nullptr);
    EXPECT_EQ(failure([&] { target.Assign(&other); }), QStringLiteral("Cannot assign a TComponent to a TResistanceMap"));
}

// The link to the calibration store goes when the store is destroyed, on copies as well.
TEST(ResistanceMap, DropsTheCalibrationStoreWhenItIsDestroyed)
{
    auto calibration = std::make_unique<TMapCalibration>(nullptr);
    TResistanceMap map(nullptr);
    TResistanceMap copy(nullptr);
    map.SetMapCalibration(calibration.get());
    copy.Assign(&map);
    calibration.reset();
    EXPECT_EQ(map.MapCalibration(), nullptr);
    EXPECT_EQ(copy.MapCalibration(), nullptr);
}
