#pragma once

#include "calibration/MapCalibration.h"
#include "devicebase/VelDeviceBaseClasses.h"
#include "platform/Component.h"

#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace caltrix::calibration {

// The text lines of a resistance map. Every change is announced to the owner before
// (`OnChanging`) and after (`OnChange`) it happens. Main thread only.
class TMapStrings : public platform::TPersistent {
public:
    QString ClassName() const override { return QStringLiteral("TStringList"); }

    int Count() const { return static_cast<int>(lines_.size()); }
    // Fails with "List index out of bounds (<Index>)" for an index that is not a line.
    const QString& Get(int Index) const;
    const QStringList& Lines() const { return lines_; }

    void Add(const QString& Line);
    void Put(int Index, const QString& Line);
    void Delete(int Index);
    void Clear();
    // Replaces all lines (one change).
    void SetLines(const QStringList& Lines);

    void Assign(const platform::TPersistent* Source) override;
    void AssignTo(platform::TPersistent* Dest) const override;

    std::function<void()> OnChange;
    std::function<void()> OnChanging;

private:
    void checkIndex(int Index) const;
    template <typename F>
    void change(F&& apply);

    QStringList lines_;
};

// Rows of the parsed map: row 0 the header speeds, row r the powers of level r; column 0 labels.
using TResistanceArray = std::vector<std::vector<double>>;

// A trainer's power map: tab-separated text whose first line lists speeds (km/h, ascending) and
// whose following lines give, for each resistance level from the lowest, the power in watts at
// each speed. It parses the text on request, can scale it for the model, finds the power range
// and fits a requested power to what the trainer can do at a speed. Main thread only.
class TResistanceMap : public platform::TComponent {
public:
    explicit TResistanceMap(platform::TComponent* AOwner);
    ~TResistanceMap() override;

    QString ClassName() const override { return QStringLiteral("TResistanceMap"); }

    TMapStrings& Strings() { return FStrings; }
    const TMapStrings& Strings() const { return FStrings; }
    // Copies the lines (changing them does not parse them again: call LoadMap).
    void SetStrings(const QStringList& Value);

    double TavorVersion() const { return FTavorVersion; }
    virtual void SetTavorVersion(double Value);
    double ResistanceMapAdapter() const { return FResistanceMapAdapter; }
    // 0 is stored as 1.0.
    virtual void SetResistanceMapAdapter(double Value);
    std::int32_t ResistanceLatency() const { return FResistanceLatency; }
    virtual void SetResistanceLatency(std::int32_t Value);
    std::int32_t MinPower() const { return FMinPower; }
    virtual void SetMinPower(std::int32_t Value);
    std::int32_t MaxPower() const { return FMaxPower; }
    virtual void SetMaxPower(std::int32_t Value);
    TMapCalibration* MapCalibration() const { return FMapCalibration; }
    // Kept until the calibration store is destroyed.
    void SetMapCalibration(TMapCalibration* Value);

    std::int32_t ColumnCount() const { return FColumnCount; }
    const TResistanceArray& Map() const { return FMap; }

    // Raised at the end of a successful LoadMap.
    platform::TNotifyEvent OnResistanceMapLoaded;
    // Raised after and before every change of the lines, except while the map is read from a
    // stored form.
    platform::TNotifyEvent OnChange;
    platform::TNotifyEvent OnChanging;

    // Parses the lines into Map and ColumnCount (fields of line 0), then raises
    // OnResistanceMapLoaded. A cell may use a comma or the user's decimal separator; an empty
    // cell or one blank is 0. Fails with "List index out of bounds (0)" when there are no lines,
    // and with EMVel code 4 ("Please, contact the Korvane support" and the cause) when a cell is no
    // number or the event handler fails.
    virtual void LoadMap();
    // From model 4 on: multiplies the power cells by ResistanceMapAdapter, rounded (ties to
    // even). Applying it twice scales twice.
    virtual void ApplyAdapter();
    // MinPower := smallest positive power cell, MaxPower := largest (1000000 and 0 when there are
    // none or the model is below 4).
    virtual void ComputePowerRange();
    // Fits TargetPower to the map at Speed (mph when Units is umMiles) and returns the status:
    // 0 speed is zero (Power unchanged); 1 the target is above the most the map offers, Power :=
    // that most; 2 the target is at or below level 1, Power := level 1's power; 3 within the map,
    // Power := TargetPower. Fails with "x1>x2 or y1>y2" when a level's power falls from one
    // column to the next, and with EMVel code 4 when the map has no speed column or no level with
    // a power in the column used.
    virtual std::uint8_t ClampTargetPower(long double Speed, devicebase::TUnitMeasure Units, std::int32_t TargetPower,
        std::int32_t& Power);
    virtual void DoResistanceMapLoaded();

    // Copies from a TMapStrings (the lines) or another map (CopyFrom); else "Cannot assign ...".
    void Assign(const platform::TPersistent* Source) override;
    void AssignTo(platform::TPersistent* Dest) const override;
    void DefineProperties(platform::PropertyList& properties) override;
    void Notification(platform::TComponent* AComponent, platform::Operation Operation) override;

    // Whether the stored form needs the lines: when an ancestor map with as many lines (more
    // than none) is given, only if a line differs from it regardless of case (a to z); otherwise
    // whenever there are lines.
    bool HasStrData(const TResistanceMap* Ancestor) const;

protected:
    virtual void Change();
    virtual void Changing();

private:
    // Copies the lines, model, adapter, latency, power range and calibration link of `Source`
    // into `Target`, without setters; neither ColumnCount nor Map (the target parses itself).
    static void CopyFrom(const TResistanceMap& Source, TResistanceMap& Target);
    void ReadStrData(const QStringList& Lines);
    void checkLookupMap() const;

    TMapStrings FStrings;
    double FTavorVersion = 4.0;
    double FResistanceMapAdapter = 1.0;
    std::int32_t FResistanceLatency = 0;
    std::int32_t FMinPower = 0;
    std::int32_t FMaxPower = 0;
    TMapCalibration* FMapCalibration = nullptr;
    std::int32_t FColumnCount = 0;
    TResistanceArray FMap;
};

} // namespace caltrix::calibration
