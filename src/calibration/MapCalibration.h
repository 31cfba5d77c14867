#pragma once

#include "hive/Hive.h"
#include "platform/Component.h"

#include <QString>

#include <cstdint>

namespace caltrix::calibration {

// The three-point calibration of one trainer model: for each point a calibration value, a speed
// and a resistance level, with lower and upper limits (stored, never compared). It loads and
// saves itself as string values under one subkey per model (below a base path of the caller's
// choice), after moving the values of an older layout of model 5 to their plain names.
//
// `Root` is the hive the base path lies in, as the registry's root key would be (normally
// hive::currentUser()). Main thread only.
class TMapCalibration : public platform::TComponent {
public:
    explicit TMapCalibration(platform::TComponent* AOwner);

    QString ClassName() const override { return QStringLiteral("TMapCalibration"); }

    // From another store: the nine calibration integers, TavorVersion and UseMapCalibration,
    // without the setters; UseConsoleValues and the limits stay. Any other source fails with
    // "Cannot assign a %s to a %s".
    void Assign(const platform::TPersistent* Source) override;

    void DefineProperties(platform::PropertyList& properties) override;

    // Both return true or throw platform::Error; see DoLoadSettings and DoSaveSettings.
    virtual bool LoadSettings(hive::Hive& Root, const QString& Path);
    virtual bool SaveSettings(hive::Hive& Root, const QString& Path);

    // Migrates the model 5 layout, then reads the sixteen values of the model's subkey (a missing
    // value reads as 0). Fails with the model-table error for an unknown TavorVersion (after the
    // migration) and with "Error in TMapCalibration.DoLoadSettings" when a stored value is not a
    // whole number (the values read before it keep their new values; the cause is nested).
    bool DoLoadSettings(hive::Hive& Root, const QString& Path);
    // Writes the sixteen values into the model's subkey, all or none. Fails with the model-table
    // error before writing, and with "Error in TMapCalibration.DoSaveSettings" (cause nested) when
    // the hive cannot be written.
    bool DoSaveSettings(hive::Hive& Root, const QString& Path);

    // "<Name>_" when WithName, else empty: the prefix of the value names.
    QString GetValuePrefix(bool WithName) const;

    std::int32_t P1MaxValue() const { return FP1MaxValue; }
    std::int32_t P2MaxValue() const { return FP2MaxValue; }
    std::int32_t P3MaxValue() const { return FP3MaxValue; }
    std::int32_t P1MinValue() const { return FP1MinValue; }
    std::int32_t P2MinValue() const { return FP2MinValue; }
    std::int32_t P3MinValue() const { return FP3MinValue; }
    double TavorVersion() const { return FTavorVersion; }
    bool UseMapCalibration() const { return FUseMapCalibration; }
    bool UseConsoleValues() const { return FUseConsoleValues; }
    std::int32_t CalibrationP1() const { return FCalibrationP1; }
    std::int32_t CalibrationP2() const { return FCalibrationP2; }
    std::int32_t CalibrationP3() const { return FCalibrationP3; }
    std::int32_t Speed1() const { return FSpeed1; }
    std::int32_t Speed2() const { return FSpeed2; }
    std::int32_t Speed3() const { return FSpeed3; }
    std::int32_t Resist1() const { return FResist1; }
    std::int32_t Resist2() const { return FResist2; }
    std::int32_t Resist3() const { return FResist3; }

    // Each setter stores a different value and does nothing else. Resist2 has no setter of its
    // own: it writes the field.
    virtual void SetCalibrationP1(std::int32_t Value);
    virtual void SetCalibrationP2(std::int32_t Value);
    virtual void SetCalibrationP3(std::int32_t Value);
    virtual void SetSpeed1(std::int32_t Value);
    virtual void SetSpeed2(std::int32_t Value);
    virtual void SetSpeed3(std::int32_t Value);
    virtual void SetResist1(std::int32_t Value);
    virtual void SetResist3(std::int32_t Value);
    virtual void SetTavorVersion(double Value);
    virtual void SetUseMapCalibration(bool Value);
    virtual void SetUseConsoleValues(bool Value);
    virtual void SetP1MaxValue(std::int32_t Value);
    virtual void SetP2MaxValue(std::int32_t Value);
    virtual void SetP3MaxValue(std::int32_t Value);
    virtual void SetP1MinValue(std::int32_t Value);
    virtual void SetP2MinValue(std::int32_t Value);
    virtual void SetP3MinValue(std::int32_t Value);
    void SetResist2(std::int32_t Value) { FResist2 = Value; }

private:
    // The fifteen integer values in the order of the stored layout.
    struct IntegerValue {
        const char* name;
        std::int32_t TMapCalibration::*field;
        void (TMapCalibration::*set)(std::int32_t);
    };
    static const IntegerValue IntegerValues[15];

    std::int32_t FP1MaxValue = 0;
    std::int32_t FP2MaxValue = 0;
    std::int32_t FP3MaxValue = 0;
    std::int32_t FP1MinValue = 0;
    std::int32_t FP2MinValue = 0;
    std::int32_t FP3MinValue = 0;
    double FTavorVersion = 0.0;
    bool FUseMapCalibration = false;
    bool FUseConsoleValues = false;
    std::int32_t FCalibrationP1 = 0;
    std::int32_t FCalibrationP2 = 0;
    std::int32_t FCalibrationP3 = 0;
    std::int32_t FSpeed1 = 0;
    std::int32_t FSpeed2 = 0;
    std::int32_t FSpeed3 = 0;
    std::int32_t FResist1 = 0;
    std::int32_t FResist2 = 0;
    std::int32_t FResist3 = 0;
};

// The subkey name of a model number ("Tavor1" ... "Tavor11", "Tavor4.5", "Tavor5.5"; no 8).
// Any other number fails with "Error in TMapCalibration.GetKeyDeviceName: No key name for %2.1f".
QString GetKeyDeviceName(double TavorVersion);

// Moves the values of the older model 5 layout ("MapCalibrationTavor5_<name>" in the Tavor5
// subkey) to their plain names, in one write: the legacy values found replace the plain ones,
// plain values without a legacy one stay, missing ones get the start values (0, "False"), and
// the legacy values are removed. Nothing changes unless every legacy value is a valid one;
// otherwise it fails with "Error in TMapCalibration.UpdateExistingOldKeysOfTavor5" (cause nested).
void UpdateExistingOldKeysOfTavor5(hive::Hive& Root, const QString& Path);

// "" stays ""; a path ending in a backslash stays; any other gets one appended.
QString WithTrailingBackslash(const QString& Path);

// The value's text; "0" when the key or the value is missing or the text empty. Never throws: a
// value of another type, or a hive that cannot be read, gives the error's message, which is no
// number, so that loading it fails.
QString ReadRegString(hive::Hive& Root, const QString& Key, const QString& Name);
// True when the key exists and holds the value; false otherwise and on any failure.
bool RegValueExists(hive::Hive& Root, const QString& Key, const QString& Name);
// Deletes the value; false when there was none or on any failure.
bool DeleteRegValue(hive::Hive& Root, const QString& Key, const QString& Name);
// Writes a REG_SZ value, creating the key (and its parents) only when CanCreate; false when the
// key does not exist and may not be created, or on any failure.
bool WriteRegString(hive::Hive& Root, const QString& Key, const QString& Name, bool CanCreate, const QString& Value);

} // namespace caltrix::calibration
