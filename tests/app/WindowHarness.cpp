#include "WindowHarness.h"

#include "antproto/AntMessage.h"
#include "app/settings/SampleSettings.h"

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

void WindowTest::set(const QString& key, const QString& name, const QString& text) { hive.writeString(key, name, text); }

void WindowTest::configureTrainer(std::int32_t unitType) { writeSampleSettings(hive, world.trainerNumber, unitType); }

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
    form = std::make_unique<TForm1>([this](platform::TComponent* Owner) { return makeDevice(Owner); },
        WindowRunOptions { runsFolder, runHoldSeconds }, [this](SettingsDialog& dialog) {
            ++settingsDialogsShown;
            return answerSettings ? answerSettings(dialog) : false;
        });
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
