#include "WindowHarness.h"

#include "antproto/AntMessage.h"

#include <QApplication>

namespace caltrix::app::test {

void ScreenDesktop::showMessageBox(const platform::MessageBox& box)
{
    bool disabled = false;
    for (QWidget* w : QApplication::topLevelWidgets())
        disabled = disabled || (w->isVisible() && !w->isEnabled());
    boxes.push_back({ box, WaitNotice() != nullptr, disabled });
}

std::vector<QString> ScreenDesktop::texts() const
{
    std::vector<QString> out;
    for (const ShownBox& b : boxes)
        out.push_back(b.box.text);
    return out;
}

WindowTest::WindowTest()
{
    makeDevice = [this](platform::TComponent* Owner) {
        auto* d = new device::TTavorDeviceANT(Owner);
        d->SetAntLibraryFactory(libraryFactory());
        return d;
    };
    stickCreated = [this](antlib::SimTransport& t) {
        t.stick().onMessage = [this](const antproto::AntMessage& m, bool toHost) {
            if (!toHost)
                hostMessages.push_back(m);
        };
    };
}

WindowTest::~WindowTest()
{
    form.reset();
    HideWaitNotice();
}

void WindowTest::set(const QString& key, const char* name, const QString& text)
{
    hive.writeString(key, QLatin1String(name), text);
}

QString WindowTest::calibrationKey(std::int32_t unitType) const
{
    return CalibrationKeyBase + QString::number(unitType);
}

void WindowTest::configureTrainer(std::int32_t unitType)
{
    set(DeviceKeyPath, "PeltoAntSettings_UnitType", QString::number(unitType));
    set(DeviceKeyPath, "PeltoAntSettings_TrainerDeviceNumber", QString::number(world.trainerNumber));
    set(DeviceKeyPath, "PeltoAntSettings_RollDiameter", QStringLiteral("74"));
    set(DeviceKeyPath, "PeltoAntSettings_EventPerTurn", QStringLiteral("1"));
    const QString key = calibrationKey(unitType);
    const char* speeds[] = { "Speed1", "Speed2", "Speed3" };
    const char* levels[] = { "Resist1", "Resist2", "Resist3" };
    for (int i = 0; i < 3; ++i) {
        set(key, speeds[i], QString::number(15 + 10 * i));
        set(key, levels[i], QString::number(3 + 3 * i));
    }
}

void WindowTest::useSteadySpeedDevice()
{
    makeDevice = [this](platform::TComponent* Owner) {
        steadyDevice = new SteadySpeedDevice(Owner);
        steadyDevice->SetAntLibraryFactory(libraryFactory());
        return steadyDevice;
    };
}

TForm1& WindowTest::createWindow()
{
    hostMessages.clear();
    form = std::make_unique<TForm1>([this](platform::TComponent* Owner) { return makeDevice(Owner); });
    return *form;
}

device::TTavorDeviceANT& WindowTest::trainerDevice() const
{
    return dynamic_cast<device::TTavorDeviceANT&>(*form->TavorDeviceANT1);
}

std::vector<antproto::AntMessage> WindowTest::sentToStick(std::uint8_t id) const
{
    std::vector<antproto::AntMessage> out;
    for (const auto& m : hostMessages)
        if (m.id == id)
            out.push_back(m);
    return out;
}

} // namespace caltrix::app::test
