#include "calibration/ResistanceMap.h"

#include "devicebase/EMVel.h"
#include "devicebase/Helpers.h"
#include "hive/NumberText.h"
#include "platform/Error.h"
#include "platform/Platform.h"

#include <cmath>
#include <limits>

namespace caltrix::calibration {

using devicebase::EMVel;

namespace {

constexpr QChar Tab = u'\t';
// Miles per hour to kilometres per hour, as the trainer software converts.
constexpr long double KmPerMile = 1.609L;
// MinPower before the search, above any power a trainer absorbs.
constexpr std::int32_t NoMinPower = 1000000;
constexpr std::int32_t ErrorReadingMap = 4;

// Rounds to the nearest integer, ties to even; powers beyond the 32-bit range (only from an
// absurd adapter) saturate instead of overflowing.
std::int32_t roundToInt(double value)
{
    if (std::isnan(value))
        return 0;
    const double rounded = std::nearbyint(value);
    if (rounded >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(rounded);
}

double Interpolate(double X, double X1, double X2, double Y1, double Y2)
{
    if (X1 > X2 || Y1 > Y2)
        throw platform::Error(QStringLiteral("x1>x2 or y1>y2"));
    if (X1 == X2)
        return Y1;
    return Y1 + (X - X1) / (X2 - X1) * (Y2 - Y1);
}

// Equal when only the case of the letters a to z differs.
bool sameIgnoringAsciiCase(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return false;
    const auto fold = [](QChar c) { return c >= u'A' && c <= u'Z' ? QChar(c.unicode() + 32) : c; };
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

QString ReplaceChar(QChar OldChar, QChar NewChar, QString S) { return S.replace(OldChar, NewChar); }

} // namespace

// ---- TMapStrings --------------------------------------------------------------------------------

template <typename F>
void TMapStrings::change(F&& apply)
{
    if (OnChanging)
        OnChanging();
    apply();
    if (OnChange)
        OnChange();
}

void TMapStrings::checkIndex(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw platform::Error(QStringLiteral("List index out of bounds (%1)").arg(Index));
}

const QString& TMapStrings::Get(int Index) const
{
    checkIndex(Index);
    return lines_[Index];
}

void TMapStrings::Add(const QString& Line)
{
    change([&] { lines_.append(Line); });
}

void TMapStrings::Put(int Index, const QString& Line)
{
    checkIndex(Index);
    change([&] { lines_[Index] = Line; });
}

void TMapStrings::Delete(int Index)
{
    checkIndex(Index);
    change([&] { lines_.removeAt(Index); });
}

void TMapStrings::Clear()
{
    if (!lines_.isEmpty())
        change([&] { lines_.clear(); });
}

void TMapStrings::SetLines(const QStringList& Lines)
{
    change([&] { lines_ = Lines; });
}

void TMapStrings::Assign(const platform::TPersistent* Source)
{
    if (const auto* other = dynamic_cast<const TMapStrings*>(Source)) {
        SetLines(other->lines_);
        return;
    }
    platform::TPersistent::Assign(Source);
}

void TMapStrings::AssignTo(platform::TPersistent* Dest) const
{
    if (auto* other = dynamic_cast<TMapStrings*>(Dest)) {
        other->SetLines(lines_);
        return;
    }
    platform::TPersistent::AssignTo(Dest);
}

// ---- TResistanceMap -----------------------------------------------------------------------------

TResistanceMap::TResistanceMap(platform::TComponent* AOwner)
    : platform::TComponent(AOwner)
{
    FStrings.OnChange = [this] { Change(); };
    FStrings.OnChanging = [this] { Changing(); };
}

TResistanceMap::~TResistanceMap()
{
    OnChange = nullptr;
    OnChanging = nullptr;
    FStrings.OnChange = nullptr;
    FStrings.OnChanging = nullptr;
}

void TResistanceMap::SetStrings(const QStringList& Value) { FStrings.SetLines(Value); }

void TResistanceMap::SetTavorVersion(double Value)
{
    if (FTavorVersion != Value)
        FTavorVersion = Value;
}

void TResistanceMap::SetResistanceMapAdapter(double Value)
{
    if (FResistanceMapAdapter == Value)
        return;
    FResistanceMapAdapter = Value == 0 ? 1.0 : Value;
}

void TResistanceMap::SetResistanceLatency(std::int32_t Value)
{
    if (FResistanceLatency != Value)
        FResistanceLatency = Value;
}

void TResistanceMap::SetMinPower(std::int32_t Value)
{
    if (FMinPower != Value)
        FMinPower = Value;
}

void TResistanceMap::SetMaxPower(std::int32_t Value)
{
    if (FMaxPower != Value)
        FMaxPower = Value;
}

void TResistanceMap::SetMapCalibration(TMapCalibration* Value)
{
    if (FMapCalibration == Value)
        return;
    FMapCalibration = Value;
    if (FMapCalibration)
        FMapCalibration->FreeNotification(this);
}

void TResistanceMap::Notification(platform::TComponent* AComponent, platform::Operation Operation)
{
    platform::TComponent::Notification(AComponent, Operation);
    if (Operation == platform::Operation::Remove && AComponent == FMapCalibration)
        FMapCalibration = nullptr;
}

void TResistanceMap::Change()
{
    if (!loading() && OnChange)
        OnChange(this);
}

void TResistanceMap::Changing()
{
    if (!loading() && OnChanging)
        OnChanging(this);
}

void TResistanceMap::DoResistanceMapLoaded()
{
    if (OnResistanceMapLoaded)
        OnResistanceMapLoaded(this);
}

void TResistanceMap::LoadMap()
{
    FMap.clear();
    FColumnCount = devicebase::CountDelimitedFields(FStrings.Get(0), Tab);
    const auto columns = static_cast<std::size_t>(FColumnCount);
    FMap.assign(static_cast<std::size_t>(FStrings.Count()), std::vector<double>(columns, 0.0));
    const QChar separator = platform::decimalSeparator();
    try {
        for (int r = 0; r < FStrings.Count(); ++r) {
            const QString& line = FStrings.Get(r);
            for (std::int32_t j = 0; j < FColumnCount; ++j) {
                QString field = devicebase::GetDelimitedField(line, Tab, j);
                if (field.isEmpty() || field == QLatin1String(" "))
                    continue;
                if (separator != u',')
                    field = ReplaceChar(u',', separator, field);
                FMap[static_cast<std::size_t>(r)][static_cast<std::size_t>(j)]
                    = static_cast<double>(hive::textToFloat(field));
            }
        }
        DoResistanceMapLoaded();
    } catch (const platform::Error& e) {
        throw EMVel(ErrorReadingMap, QStringLiteral("Please, contact the Korvane support\r\n\r\n") + e.message());
    } catch (const std::exception& e) {
        throw EMVel(ErrorReadingMap, QStringLiteral("Please, contact the Korvane support\r\n\r\n") + QString::fromUtf8(e.what()));
    }
}

void TResistanceMap::ApplyAdapter()
{
    if (FTavorVersion < 4.0)
        return;
    if (FResistanceMapAdapter == 0)
        FResistanceMapAdapter = 1.0;
    for (std::size_t r = 1; r < FMap.size(); ++r) {
        for (std::size_t j = 1; j < FMap[r].size(); ++j)
            FMap[r][j] = std::nearbyint(FMap[r][j] * FResistanceMapAdapter);
    }
}

void TResistanceMap::ComputePowerRange()
{
    FMinPower = NoMinPower;
    FMaxPower = 0;
    if (FTavorVersion < 4.0)
        return;
    for (std::int32_t j = 1; j < FColumnCount; ++j) {
        for (std::size_t r = 1; r < FMap.size(); ++r) {
            const std::int32_t p = roundToInt(FMap[r][static_cast<std::size_t>(j)]);
            if (p > FMaxPower)
                SetMaxPower(p);
            if (p > 0 && p < FMinPower)
                SetMinPower(p);
        }
    }
}

void TResistanceMap::checkLookupMap() const
{
    if (FColumnCount < 2 || FMap.size() < 2) {
        throw EMVel(ErrorReadingMap,
            QStringLiteral("The resistance map needs a line of speeds and at least one level line, with at least one "
                           "speed column; load a complete map first."));
    }
}

std::uint8_t TResistanceMap::ClampTargetPower(long double Speed, devicebase::TUnitMeasure Units,
    std::int32_t TargetPower, std::int32_t& Power)
{
    if (Units == devicebase::umMiles)
        Speed *= KmPerMile;
    if (Speed == 0)
        return 0;
    checkLookupMap();
    const std::vector<double>& header = FMap[0];
    const auto last = static_cast<std::size_t>(FColumnCount - 1);
    std::size_t lo = 1;
    std::size_t hi = 1;
    for (std::size_t j = last; j >= 1; --j) {
        if (header[j] <= Speed) {
            lo = j;
            hi = header[j] == Speed || j == last ? j : j + 1;
            break;
        }
    }
    // The highest level with a power in column hi; a map without one cannot answer.
    std::size_t top = FMap.size() - 1;
    while (top >= 1 && FMap[top][hi] == 0)
        --top;
    if (top < 1) {
        throw EMVel(ErrorReadingMap,
            QStringLiteral("The resistance map has no level with a power at %1 km/h.").arg(static_cast<double>(header[hi])));
    }
    const auto value = [&](std::size_t r) {
        return Interpolate(static_cast<double>(Speed), header[lo], header[hi], FMap[r][lo], FMap[r][hi]);
    };
    std::size_t r = top;
    double v = value(r);
    while (TargetPower <= v && r != 1) {
        --r;
        v = value(r);
    }
    if (r == top) {
        Power = roundToInt(v);
        return 1;
    }
    if (TargetPower > v) {
        Power = TargetPower;
        return 3;
    }
    Power = roundToInt(v);
    return 2;
}

void TResistanceMap::CopyFrom(const TResistanceMap& Source, TResistanceMap& Target)
{
    Target.FStrings.SetLines(Source.FStrings.Lines());
    Target.FTavorVersion = Source.FTavorVersion;
    Target.FResistanceMapAdapter = Source.FResistanceMapAdapter;
    Target.FResistanceLatency = Source.FResistanceLatency;
    Target.FMinPower = Source.FMinPower;
    Target.FMaxPower = Source.FMaxPower;
    Target.FMapCalibration = Source.FMapCalibration;
    // The copied link must be dropped when the store goes, as the source's is.
    if (Target.FMapCalibration)
        Target.FMapCalibration->FreeNotification(&Target);
}

void TResistanceMap::Assign(const platform::TPersistent* Source)
{
    if (const auto* lines = dynamic_cast<const TMapStrings*>(Source)) {
        FStrings.Assign(lines);
        return;
    }
    if (const auto* map = dynamic_cast<const TResistanceMap*>(Source)) {
        CopyFrom(*map, *this);
        return;
    }
    platform::TComponent::Assign(Source);
}

void TResistanceMap::AssignTo(platform::TPersistent* Dest) const
{
    if (auto* lines = dynamic_cast<TMapStrings*>(Dest)) {
        lines->Assign(&FStrings);
        return;
    }
    if (auto* map = dynamic_cast<TResistanceMap*>(Dest)) {
        CopyFrom(*this, *map);
        return;
    }
    platform::TComponent::AssignTo(Dest);
}

bool TResistanceMap::HasStrData(const TResistanceMap* Ancestor) const
{
    if (Ancestor && Ancestor->FStrings.Count() == FStrings.Count() && FStrings.Count() > 0) {
        for (int i = 0; i < FStrings.Count(); ++i) {
            if (!sameIgnoringAsciiCase(FStrings.Get(i), Ancestor->FStrings.Get(i)))
                return true;
        }
        return false;
    }
    return FStrings.Count() > 0;
}

void TResistanceMap::ReadStrData(const QStringList& Lines)
{
    FStrings.Clear();
    for (const QString& line : Lines)
        FStrings.Add(line);
}

void TResistanceMap::DefineProperties(platform::PropertyList& properties)
{
    platform::TComponent::DefineProperties(properties);
    const auto real = [&](const char* name, double (TResistanceMap::*get)() const, void (TResistanceMap::*set)(double)) {
        properties.add({ QString::fromLatin1(name), [this, get] { return QVariant((this->*get)()); },
            [this, set](const QVariant& v) { (this->*set)(v.toDouble()); } });
    };
    const auto integer = [&](const char* name, std::int32_t (TResistanceMap::*get)() const,
                             void (TResistanceMap::*set)(std::int32_t)) {
        properties.add({ QString::fromLatin1(name), [this, get] { return QVariant((this->*get)()); },
            [this, set](const QVariant& v) { (this->*set)(v.toInt()); }, QVariant(0) });
    };
    real("TavorVersion", &TResistanceMap::TavorVersion, &TResistanceMap::SetTavorVersion);
    real("ResistanceMapAdapter", &TResistanceMap::ResistanceMapAdapter, &TResistanceMap::SetResistanceMapAdapter);
    integer("ResistanceLatency", &TResistanceMap::ResistanceLatency, &TResistanceMap::SetResistanceLatency);
    integer("MinPower", &TResistanceMap::MinPower, &TResistanceMap::SetMinPower);
    integer("MaxPower", &TResistanceMap::MaxPower, &TResistanceMap::SetMaxPower);
    // The stored form has no ancestor forms, so the lines are written whenever there are any.
    properties.add({ QStringLiteral("StrData"), [this] { return QVariant(FStrings.Lines()); },
        [this](const QVariant& v) { ReadStrData(v.toStringList()); }, std::nullopt, {},
        [this] { return HasStrData(nullptr); } });
}

} // namespace caltrix::calibration
