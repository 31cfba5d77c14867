#include "runs/RunSettings.h"

#include "platform/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace caltrix::runs {

namespace {

constexpr char BandName[] = "run-band";
constexpr char AverageName[] = "run-average";
constexpr char HoldName[] = "run-hold";
constexpr char StripName[] = "run-strip";
// Their keys in the settings file.
constexpr char BandKey[] = "runs/band";
constexpr char AverageKey[] = "runs/average";
constexpr char HoldKey[] = "runs/hold";
constexpr char StripKey[] = "runs/strip";

template <class T>
CheckedSetting<T> refused(const QString& refusal)
{
    return { std::nullopt, refusal };
}

template <class T>
CheckedSetting<T> outOfRange(const char* name, const QString& text, const QString& range)
{
    return refused<T>(QStringLiteral("cannot store %1 = %2: it must be %3").arg(QLatin1String(name), text, range));
}

// QString's conversions read a point as the decimal separator whatever the locale, as the file keeps it.
CheckedSetting<double> checkNumber(const char* name, const QString& text, double min, double max, const char* unit)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok) {
        return refused<double>(QStringLiteral("cannot store %1: '%2' is not a valid floating point value")
                                   .arg(QLatin1String(name), text));
    }
    if (!std::isfinite(value) || value < min || value > max)
        return outOfRange<double>(name, text, QStringLiteral("between %1 and %2 %3").arg(min).arg(max).arg(QLatin1String(unit)));
    return { value, {} };
}

CheckedSetting<int> checkSeconds(const char* name, const QString& text, int min, int max)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok)
        return refused<int>(QStringLiteral("cannot store %1: '%2' is not a valid integer value").arg(QLatin1String(name), text));
    if (value < min || value > max)
        return outOfRange<int>(name, text, QStringLiteral("between %1 and %2 s").arg(min).arg(max));
    return { value, {} };
}

// A setting as the file keeps it: its key, and its text as stored once checked (or the refusal).
struct Definition {
    const char* name;
    const char* key;
    std::function<CheckedSetting<QString>(const QString&)> storedText;
};

template <class T, class Format>
CheckedSetting<QString> storedTextOf(const CheckedSetting<T>& checked, Format format)
{
    if (!checked.value)
        return refused<QString>(checked.refusal);
    return { format(*checked.value), {} };
}

QString numberText(double value) { return QString::number(value); }
QString switchText(bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); }

const std::vector<Definition>& definitions()
{
    static const std::vector<Definition> all = {
        { BandName, BandKey, [](const QString& t) { return storedTextOf(checkRunBand(t), numberText); } },
        { AverageName, AverageKey, [](const QString& t) { return storedTextOf(checkRunAverage(t), numberText); } },
        { HoldName, HoldKey, [](const QString& t) { return storedTextOf(checkRunHold(t), numberText); } },
        { StripName, StripKey, [](const QString& t) { return storedTextOf(checkRunStrip(t), switchText); } },
    };
    return all;
}

// The file's value of `key` when it is there and accepted, else `fallback`.
template <class T>
T storedOr(const QSettings& file, const char* key, CheckedSetting<T> (*check)(const QString&), T fallback)
{
    const QVariant stored = file.value(QLatin1String(key));
    if (!stored.isValid())
        return fallback;
    return check(stored.toString()).value.value_or(fallback);
}

} // namespace

CheckedSetting<double> checkRunBand(const QString& text) { return checkNumber(BandName, text, 0.1, 5, "km/h"); }
CheckedSetting<int> checkRunAverage(const QString& text) { return checkSeconds(AverageName, text, 1, 10); }
CheckedSetting<int> checkRunHold(const QString& text) { return checkSeconds(HoldName, text, 5, 300); }

CheckedSetting<bool> checkRunStrip(const QString& text)
{
    if (text.compare(QLatin1String("on"), Qt::CaseInsensitive) == 0)
        return { true, {} };
    if (text.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0)
        return { false, {} };
    return outOfRange<bool>(StripName, text, QStringLiteral("on or off"));
}

QStringList runSettingNames()
{
    QStringList names;
    for (const Definition& definition : definitions())
        names << QLatin1String(definition.name);
    return names;
}

// The path is the one QSettings(IniFormat, UserScope, "caltrix", "caltrix") uses, found afresh
// each time: QSettings keeps the first configuration folder it saw for the whole process.
QString runSettingsFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/caltrix/caltrix.conf");
}

RunSettings readRunSettings()
{
    const QSettings file(runSettingsFilePath(), QSettings::IniFormat);
    const RunSettings defaults;
    return {
        storedOr(file, BandKey, checkRunBand, defaults.bandKmh),
        storedOr(file, AverageKey, checkRunAverage, defaults.averageSeconds),
        storedOr(file, HoldKey, checkRunHold, defaults.holdSeconds),
        storedOr(file, StripKey, checkRunStrip, defaults.stripShown),
    };
}

namespace {

const Definition& definitionNamed(const QString& name, const char* verb)
{
    const auto definition = std::find_if(definitions().begin(), definitions().end(),
        [&name](const Definition& d) { return name == QLatin1String(d.name); });
    if (definition == definitions().end()) {
        throw platform::Error(QStringLiteral("cannot %1 %2: there is no such run setting (%3)")
                                  .arg(QLatin1String(verb), name, runSettingNames().join(QStringLiteral(", "))));
    }
    return *definition;
}

// Writes the file's changes out; `failed` says what could not be done ("cannot store run-band in").
void writeOut(QSettings& file, const QString& path, const QString& failed)
{
    file.sync();
    if (file.status() != QSettings::NoError) {
        throw platform::Error(QStringLiteral("%1 %2: the file cannot be written; check that its folder "
                                             "%3 can be written and the disk has room")
                                  .arg(failed, path, QDir::toNativeSeparators(QFileInfo(path).absolutePath())));
    }
}

} // namespace

void storeRunSetting(const QString& name, const QString& text)
{
    const Definition& definition = definitionNamed(name, "store");
    const CheckedSetting<QString> stored = definition.storedText(text);
    if (!stored.value)
        throw platform::Error(stored.refusal);
    const QString path = runSettingsFilePath();
    QSettings file(path, QSettings::IniFormat);
    file.setValue(QLatin1String(definition.key), *stored.value);
    writeOut(file, path, QStringLiteral("cannot store %1 in").arg(name));
}

void storeRunStripShown(bool shown) { storeRunSetting(QLatin1String(StripName), switchText(shown)); }

bool removeRunSetting(const QString& name)
{
    const Definition& definition = definitionNamed(name, "remove");
    const QString path = runSettingsFilePath();
    QSettings file(path, QSettings::IniFormat);
    if (!file.contains(QLatin1String(definition.key)))
        return false;
    file.remove(QLatin1String(definition.key));
    writeOut(file, path, QStringLiteral("cannot remove %1 from").arg(name));
    return true;
}

} // namespace caltrix::runs
