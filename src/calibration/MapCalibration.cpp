#include "calibration/MapCalibration.h"

#include "devicebase/Format.h"
#include "hive/HiveError.h"
#include "hive/NumberText.h"
#include "platform/Error.h"

#include <array>
#include <exception>
#include <optional>
#include <utility>

namespace caltrix::calibration {

using devicebase::Format;
using hive::HiveDocument;
using hive::HiveValue;

namespace {

const QString UseMapCalibrationName = QStringLiteral("UseMapCalibration");
const QString True = QStringLiteral("True");
const QString False = QStringLiteral("False");

// The sixteen stored values, in the order of the layout.
const std::array<QString, 16> ValueNames = { QStringLiteral("CalibrationP1"), QStringLiteral("CalibrationP2"),
    QStringLiteral("CalibrationP3"), QStringLiteral("Speed1"), QStringLiteral("Speed2"), QStringLiteral("Speed3"),
    QStringLiteral("Resist1"), QStringLiteral("Resist2"), QStringLiteral("Resist3"), QStringLiteral("P1MaxValue"),
    QStringLiteral("P2MaxValue"), QStringLiteral("P3MaxValue"), QStringLiteral("P1MinValue"),
    QStringLiteral("P2MinValue"), QStringLiteral("P3MinValue"), UseMapCalibrationName };

// The name (and prefix) of the store that wrote the older model 5 layout.
const QString LegacyStoreName = QStringLiteral("MapCalibrationTavor5");

// Throws a general error with `message`, keeping the error being handled as its cause.
[[noreturn]] void failWithCause(const char* message)
{
    std::throw_with_nested(platform::Error(QString::fromLatin1(message)));
}

template <typename T>
void storeIfDifferent(T& field, T value)
{
    if (field != value)
        field = value;
}

// The value of an existing key, or nothing.
const HiveValue* findValue(const HiveDocument& doc, const QString& key, const QString& name)
{
    const hive::HiveKey* found = doc.findKey(key);
    return found ? found->findValue(name) : nullptr;
}

// A value's text as ReadRegString gives it: "0" for an empty text, the error's message (no number)
// for a value that is not a string.
QString storedText(const HiveValue& value)
{
    try {
        const QString text = hive::readText(value);
        return text.isEmpty() ? QStringLiteral("0") : text;
    } catch (const hive::HiveError& e) {
        return e.message();
    }
}

} // namespace

const TMapCalibration::IntegerValue TMapCalibration::IntegerValues[15] = {
    { "CalibrationP1", &TMapCalibration::FCalibrationP1, &TMapCalibration::SetCalibrationP1 },
    { "CalibrationP2", &TMapCalibration::FCalibrationP2, &TMapCalibration::SetCalibrationP2 },
    { "CalibrationP3", &TMapCalibration::FCalibrationP3, &TMapCalibration::SetCalibrationP3 },
    { "Speed1", &TMapCalibration::FSpeed1, &TMapCalibration::SetSpeed1 },
    { "Speed2", &TMapCalibration::FSpeed2, &TMapCalibration::SetSpeed2 },
    { "Speed3", &TMapCalibration::FSpeed3, &TMapCalibration::SetSpeed3 },
    { "Resist1", &TMapCalibration::FResist1, &TMapCalibration::SetResist1 },
    { "Resist2", &TMapCalibration::FResist2, &TMapCalibration::SetResist2 },
    { "Resist3", &TMapCalibration::FResist3, &TMapCalibration::SetResist3 },
    { "P1MaxValue", &TMapCalibration::FP1MaxValue, &TMapCalibration::SetP1MaxValue },
    { "P2MaxValue", &TMapCalibration::FP2MaxValue, &TMapCalibration::SetP2MaxValue },
    { "P3MaxValue", &TMapCalibration::FP3MaxValue, &TMapCalibration::SetP3MaxValue },
    { "P1MinValue", &TMapCalibration::FP1MinValue, &TMapCalibration::SetP1MinValue },
    { "P2MinValue", &TMapCalibration::FP2MinValue, &TMapCalibration::SetP2MinValue },
    { "P3MinValue", &TMapCalibration::FP3MinValue, &TMapCalibration::SetP3MinValue },
};

TMapCalibration::TMapCalibration(platform::TComponent* AOwner)
    : platform::TComponent(AOwner)
{
}

void TMapCalibration::Assign(const platform::TPersistent* Source)
{
    const auto* other = dynamic_cast<const TMapCalibration*>(Source);
    if (!other) {
        platform::TComponent::Assign(Source);
        return;
    }
    FCalibrationP1 = other->FCalibrationP1;
    FCalibrationP2 = other->FCalibrationP2;
    FCalibrationP3 = other->FCalibrationP3;
    FSpeed1 = other->FSpeed1;
    FSpeed2 = other->FSpeed2;
    FSpeed3 = other->FSpeed3;
    FResist1 = other->FResist1;
    FResist2 = other->FResist2;
    FResist3 = other->FResist3;
    FTavorVersion = other->FTavorVersion;
    FUseMapCalibration = other->FUseMapCalibration;
}

void TMapCalibration::DefineProperties(platform::PropertyList& properties)
{
    platform::TComponent::DefineProperties(properties);
    const auto integer = [&](const char* name, std::int32_t TMapCalibration::*field,
                             void (TMapCalibration::*set)(std::int32_t), bool zeroDefault) {
        properties.add({ QString::fromLatin1(name), [this, field] { return QVariant(this->*field); },
            [this, set](const QVariant& v) { (this->*set)(v.toInt()); },
            zeroDefault ? std::optional<QVariant>(QVariant(0)) : std::nullopt });
    };
    const auto boolean = [&](const char* name, bool TMapCalibration::*field, void (TMapCalibration::*set)(bool)) {
        properties.add({ QString::fromLatin1(name), [this, field] { return QVariant(this->*field); },
            [this, set](const QVariant& v) { (this->*set)(v.toBool()); }, QVariant(false) });
    };
    // The form order: the nine calibration integers (default 0), the model, the switch, the
    // limits (no default), the console switch.
    for (int i = 0; i < 9; ++i)
        integer(IntegerValues[i].name, IntegerValues[i].field, IntegerValues[i].set, true);
    properties.add({ QStringLiteral("TavorVersion"), [this] { return QVariant(FTavorVersion); },
        [this](const QVariant& v) { SetTavorVersion(v.toDouble()); } });
    boolean("UseMapCalibration", &TMapCalibration::FUseMapCalibration, &TMapCalibration::SetUseMapCalibration);
    for (int i = 9; i < 15; ++i)
        integer(IntegerValues[i].name, IntegerValues[i].field, IntegerValues[i].set, false);
    boolean("UseConsoleValues", &TMapCalibration::FUseConsoleValues, &TMapCalibration::SetUseConsoleValues);
}

bool TMapCalibration::LoadSettings(hive::Hive& Root, const QString& Path) { return DoLoadSettings(Root, Path); }

bool TMapCalibration::SaveSettings(hive::Hive& Root, const QString& Path) { return DoSaveSettings(Root, Path); }

bool TMapCalibration::DoLoadSettings(hive::Hive& Root, const QString& Path)
{
    UpdateExistingOldKeysOfTavor5(Root, Path);
    const QString key = WithTrailingBackslash(Path) + GetKeyDeviceName(FTavorVersion);
    const QString prefix = GetValuePrefix(false);
    for (const IntegerValue& value : IntegerValues) {
        const QString text = ReadRegString(Root, key, prefix + QLatin1String(value.name));
        std::int32_t number = 0;
        try {
            number = hive::textToInt(text);
        } catch (const platform::ConvertError&) {
            failWithCause("Error in TMapCalibration.DoLoadSettings");
        }
        (this->*value.set)(number);
    }
    SetUseMapCalibration(ReadRegString(Root, key, prefix + UseMapCalibrationName) == True);
    return true;
}

bool TMapCalibration::DoSaveSettings(hive::Hive& Root, const QString& Path)
{
    const QString key = WithTrailingBackslash(Path) + GetKeyDeviceName(FTavorVersion);
    try {
        // One write for all sixteen values: a failure leaves the stored calibration as it was,
        // and is reported rather than skipped.
        Root.edit([&](HiveDocument& doc) {
            for (const IntegerValue& value : IntegerValues)
                doc.setValue(key, HiveValue::string(QLatin1String(value.name), QString::number(this->*value.field)));
            doc.setValue(key, HiveValue::string(UseMapCalibrationName, FUseMapCalibration ? True : False));
        });
    } catch (const platform::Error&) {
        failWithCause("Error in TMapCalibration.DoSaveSettings");
    }
    return true;
}

QString TMapCalibration::GetValuePrefix(bool WithName) const
{
    return WithName ? Format("%s_", { Name() }) : QString();
}

void TMapCalibration::SetCalibrationP1(std::int32_t Value) { storeIfDifferent(FCalibrationP1, Value); }
void TMapCalibration::SetCalibrationP2(std::int32_t Value) { storeIfDifferent(FCalibrationP2, Value); }
void TMapCalibration::SetCalibrationP3(std::int32_t Value) { storeIfDifferent(FCalibrationP3, Value); }
void TMapCalibration::SetSpeed1(std::int32_t Value) { storeIfDifferent(FSpeed1, Value); }
void TMapCalibration::SetSpeed2(std::int32_t Value) { storeIfDifferent(FSpeed2, Value); }
void TMapCalibration::SetSpeed3(std::int32_t Value) { storeIfDifferent(FSpeed3, Value); }
void TMapCalibration::SetResist1(std::int32_t Value) { storeIfDifferent(FResist1, Value); }
void TMapCalibration::SetResist3(std::int32_t Value) { storeIfDifferent(FResist3, Value); }
void TMapCalibration::SetTavorVersion(double Value) { storeIfDifferent(FTavorVersion, Value); }
void TMapCalibration::SetUseMapCalibration(bool Value) { storeIfDifferent(FUseMapCalibration, Value); }
void TMapCalibration::SetUseConsoleValues(bool Value) { storeIfDifferent(FUseConsoleValues, Value); }
void TMapCalibration::SetP1MaxValue(std::int32_t Value) { storeIfDifferent(FP1MaxValue, Value); }
void TMapCalibration::SetP2MaxValue(std::int32_t Value) { storeIfDifferent(FP2MaxValue, Value); }
void TMapCalibration::SetP3MaxValue(std::int32_t Value) { storeIfDifferent(FP3MaxValue, Value); }
void TMapCalibration::SetP1MinValue(std::int32_t Value) { storeIfDifferent(FP1MinValue, Value); }
void TMapCalibration::SetP2MinValue(std::int32_t Value) { storeIfDifferent(FP2MinValue, Value); }
void TMapCalibration::SetP3MinValue(std::int32_t Value) { storeIfDifferent(FP3MinValue, Value); }

QString GetKeyDeviceName(double TavorVersion)
{
    static const std::pair<double, const char*> Models[] = { { 1, "Tavor1" }, { 2, "Tavor2" }, { 3, "Tavor3" },
        { 4, "Tavor4" }, { 4.5, "Tavor4.5" }, { 5, "Tavor5" }, { 5.5, "Tavor5.5" }, { 6, "Tavor6" }, { 7, "Tavor7" },
        { 9, "Tavor9" }, { 10, "Tavor10" }, { 11, "Tavor11" } };
    for (const auto& [model, name] : Models) {
        if (TavorVersion == model)
            return QString::fromLatin1(name);
    }
    throw platform::Error(Format("Error in TMapCalibration.GetKeyDeviceName: No key name for %2.1f", { TavorVersion }));
}

void UpdateExistingOldKeysOfTavor5(hive::Hive& Root, const QString& Path)
{
    const QString key5 = WithTrailingBackslash(Path) + QStringLiteral("Tavor5");
    const QString legacyPrefix = LegacyStoreName + QLatin1Char('_');
    // Looked at first without the lock, so that a load with nothing to migrate writes nothing.
    try {
        const auto doc = Root.document();
        const hive::HiveKey* key = doc->findKey(key5);
        const bool found = key
            && std::any_of(ValueNames.begin(), ValueNames.end(),
                [&](const QString& name) { return key->findValue(legacyPrefix + name) != nullptr; });
        if (!found)
            return;
    } catch (const hive::HiveError&) {
        return; // the key cannot be opened
    }
    try {
        Root.edit([&](HiveDocument& doc) {
            for (const QString& name : ValueNames) {
                const HiveValue* legacy = findValue(doc, key5, legacyPrefix + name);
                const HiveValue* plain = findValue(doc, key5, name);
                QString text;
                if (legacy) {
                    const QString stored = storedText(*legacy);
                    text = name == UseMapCalibrationName ? (stored == True ? True : False)
                                                         : QString::number(hive::textToInt(stored));
                } else if (plain) {
                    continue;
                } else {
                    text = name == UseMapCalibrationName ? False : QStringLiteral("0");
                }
                doc.setValue(key5, HiveValue::string(name, text));
            }
            for (const QString& name : ValueNames)
                doc.deleteValue(key5, legacyPrefix + name);
        });
    } catch (const platform::Error&) {
        failWithCause("Error in TMapCalibration.UpdateExistingOldKeysOfTavor5");
    }
}

QString WithTrailingBackslash(const QString& Path)
{
    if (Path.isEmpty() || Path.endsWith(QLatin1Char('\\')))
        return Path;
    return Path + QLatin1Char('\\');
}

QString ReadRegString(hive::Hive& Root, const QString& Key, const QString& Name)
{
    try {
        const HiveValue* value = findValue(*Root.document(), Key, Name);
        return value ? storedText(*value) : QStringLiteral("0");
    } catch (const platform::Error& e) {
        return e.message();
    }
}

bool RegValueExists(hive::Hive& Root, const QString& Key, const QString& Name)
{
    try {
        return findValue(*Root.document(), Key, Name) != nullptr;
    } catch (const platform::Error&) {
        return false;
    }
}

bool DeleteRegValue(hive::Hive& Root, const QString& Key, const QString& Name)
{
    try {
        return Root.deleteValue(Key, Name);
    } catch (const platform::Error&) {
        return false;
    }
}

bool WriteRegString(hive::Hive& Root, const QString& Key, const QString& Name, bool CanCreate, const QString& Value)
{
    try {
        bool written = false;
        Root.edit([&](HiveDocument& doc) {
            if (!CanCreate && !doc.keyExists(Key))
                return;
            doc.setValue(Key, HiveValue::string(Name, Value));
            written = true;
        });
        return written;
    } catch (const platform::Error&) {
        return false;
    }
}

} // namespace caltrix::calibration
