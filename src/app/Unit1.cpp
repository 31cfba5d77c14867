#include "app/Unit1.h"

#include "app/FormItems.h"
#include "app/JpegPicture.h"
#include "app/Unit1Layout.h"
#include "app/WaitUnit.h"
#include "app/WindowDispatch.h"
#include "app/settings/StoredSettings.h"
#include "devicebase/Format.h"
#include "hive/NumberText.h"
#include "platform/Desktop.h"
#include "platform/Error.h"
#include "platform/Platform.h"
#include "runs/RunSettings.h"
#include "widgets/ArrowMarker.h"
#include "widgets/ClassicFont.h"
#include "widgets/RunStrip.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include <utility>

namespace caltrix::app {

bool TwoPresetMode = false;

namespace {

// The design-time values of the window's components, compiled in (see the resource list).
const QString StoredFormResource = QStringLiteral(":/caltrix/Unit1.form");
const QString DeviceName = QStringLiteral("TavorDeviceANT1");

const QString SansSerif = QStringLiteral("MS Sans Serif");
const QString Serif = QStringLiteral("MS Serif");

// The unit type whose roll diameter comes from the circumference typed into the window.
constexpr std::int32_t CircumferenceUnitType = 13;

const QString DesignSpeedCaption = QStringLiteral("Speed 00,0");

// Why the screen stays awake, as the desktop may show it: the rider watches the live speed
// without touching the computer.
const QString ScreenAwakeReason = QStringLiteral("A trainer is connected");

// The 1 px border around the white client area: grey, so that the frameless window keeps a visible
// edge on a white desktop.
QColor borderColour() { return QColor(0x80, 0x80, 0x80); }

QFont boldFont(QFont font, bool underline = false)
{
    font.setBold(true);
    font.setUnderline(underline);
    return font;
}

// A number in general floating-point format: the shortest form with up to 15 significant digits,
// the user's decimal separator, no digit grouping, and no separator at all for a whole number.
QString generalNumber(long double value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(static_cast<double>(value), 'g', 15);
}

QString readStoredForm()
{
    QFile file(StoredFormResource);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw platform::Error(QStringLiteral("The window's stored form cannot be read: %1").arg(file.errorString()));
    return QString::fromUtf8(file.readAll());
}

// The window's outer size: the designed area in its border, and the run strip below it when shown.
QSize windowSize(bool runStripShown)
{
    const QRect designed(QPoint(), layout::ClientSize.grownBy(QMargins(layout::BorderWidth, layout::BorderWidth,
                                        layout::BorderWidth, layout::BorderWidth)));
    if (!runStripShown)
        return designed.size();
    return designed.united(layout::RunStrip.marginsAdded(QMargins(0, 0, layout::BorderWidth, layout::BorderWidth))).size();
}

// A setting of the trainer as the runs record it: a value that cannot be read is recorded as 0.
template <typename Value>
Value readForRecord(Value (*read)())
{
    try {
        return read();
    } catch (const std::exception&) {
        return 0;
    }
}

} // namespace

// ---- creation ---------------------------------------------------------------------------------

namespace {
void place(QWidget* item, const char* name, const QRect& rect)
{
    item->setObjectName(QLatin1String(name));
    item->setGeometry(rect);
}
} // namespace

TForm1::TForm1(const TavorDeviceFactory& MakeDevice, const WindowRunOptions& runOptions,
               SettingsDialogRunner runSettingsDialog)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , platform::TComponent(nullptr)
    , runSettingsDialog_(std::move(runSettingsDialog))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    setFont(widgets::classicFont(SansSerif, 11, QFont::SansSerif));
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    setPalette(colours);
    setAutoFillBackground(true);
    createControls();
    RunStrip1 = new widgets::RunStrip(this);
    place(RunStrip1, "RunStrip1", layout::RunStrip);
    runs_ = std::make_unique<WindowRuns>(*RunStrip1, runOptions, QDateTime::currentDateTime());
    showRunStrip(runs_->settings().stripShown);
    createDevice(MakeDevice);
    searchTrainers_ = deviceTrainerSearch(
        [this](device::SearchCallbacks callbacks) { return TavorDeviceANT1->SearchTrainers(std::move(callbacks)); });
    connectHandlers();
    dispatch([this] { FormCreate(); });
}

TForm1::~TForm1()
{
    closing_ = true; // a request to end from inside the device's closing waits finds nothing to do
    // The device disconnects while it is freed and handles window messages meanwhile: it goes
    // while every part of the window still exists, and its events no longer reach the window.
    for (QPushButton* button : { Button1, Button2, Button3, Button4 })
        button->disconnect(this);
    TavorDeviceANT1->SetOnConnected({});
    TavorDeviceANT1->SetOnStats({});
    delete deviceComponent_;
    runs_->end();
    keepScreenAwake(false);
}

namespace {

TLabel* label(QWidget* client, const char* name, const QPoint& at, const QString& caption, const QFont& font)
{
    auto* item = new TLabel(client, caption, font);
    item->setObjectName(QLatin1String(name));
    item->move(at);
    return item;
}
} // namespace

void TForm1::createControls()
{
    ClientArea = new QWidget(this);
    ClientArea->setObjectName(QStringLiteral("ClientArea"));
    ClientArea->setGeometry(QRect(QPoint(layout::BorderWidth, layout::BorderWidth), layout::ClientSize));
    // Siblings stack in creation order: the items paint in this order, later over earlier, and the
    // controls with windows of their own come last, over all of them.
    createItems();
    createWindowedControls();
}

void TForm1::createItems()
{
    QWidget* client = ClientArea;
    const QFont sans11 = font();
    const QFont sans13 = widgets::classicFont(SansSerif, 13, QFont::SansSerif);
    const QFont serif9 = widgets::classicFont(Serif, 9, QFont::Serif);
    place(shp1 = new TShape(client, Qt::white, Qt::white), "shp1", layout::shp1);
    place(Shape1 = new TShape(client, Qt::white, Qt::black), "Shape1", layout::Shape1);
    place(Shape2 = new TShape(client, layout::Aqua, Qt::black), "Shape2", layout::Shape2);
    place(Shape3 = new TShape(client, layout::Red, Qt::white), "Shape3", layout::Shape3);
    place(VrArrow1 = new widgets::ArrowMarker(client), "VrArrow1", layout::VrArrow1);
    VrArrow1->setColor(layout::Red);
    VrArrow1->setAttribute(Qt::WA_TransparentForMouseEvents);
    lblSpeed = label(client, "lblSpeed", layout::lblSpeed, DesignSpeedCaption, boldFont(sans13));
    lblTarget = label(client, "lblTarget", layout::lblTarget, QStringLiteral("Target Speed: 00,0"), sans13);
    place(Image1 = new TImage(client), "Image1", layout::Image1);
    Image1->setPicture(LoadLogo());
    Label1 = label(client, "Label1", layout::Label1, QStringLiteral("Label1"), serif9);
    Label2 = label(client, "Label2", layout::Label2, QStringLiteral("---"), serif9);
    lblCirc = label(client, "lblCirc", layout::lblCirc, QStringLiteral("Circumference"), boldFont(sans11, true));
    lblCirc->hide();
}

void TForm1::createWindowedControls()
{
    auto button = [this](const char* name, const QRect& rect, const QString& caption) {
        auto* b = new QPushButton(caption, ClientArea);
        place(b, name, rect);
        return b;
    };
    Button1 = button("Button1", layout::Button1, QStringLiteral("P1"));
    Button2 = button("Button2", layout::Button2, QStringLiteral("P2"));
    Button3 = button("Button3", layout::Button3, QStringLiteral("P3"));
    Button4 = button("Button4", layout::Button4, QStringLiteral("Close"));
    place(editCirc = new QLineEdit(QStringLiteral("2070"), ClientArea), "editCirc", layout::editCirc);
    editCirc->hide();
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, Button4);
    setTabOrder(Button4, editCirc);
}

void TForm1::createDevice(const TavorDeviceFactory& MakeDevice)
{
    TavorDeviceANT1 = MakeDevice(this);
    // The device is a component of this window, so that the stored form can reach it by name.
    deviceComponent_ = dynamic_cast<platform::TComponent*>(TavorDeviceANT1);
    if (!deviceComponent_ || deviceComponent_->Owner() != this)
        throw platform::Error(QStringLiteral("The trainer device must be a component owned by the window."));
    deviceComponent_->SetName(DeviceName);
    platform::readComponent(*this, readStoredForm());
}

void TForm1::connectHandlers()
{
    // The device raises OnConnected inside ConnectANT, and FormCreate is the handler that is
    // running then: an error in it ends FormCreate, not only the event.
    TavorDeviceANT1->SetOnConnected([this](platform::TObject* Sender) { TavorDeviceANT1Connected(Sender); });
    TavorDeviceANT1->SetOnStats([this](platform::TObject* Sender) { dispatch([&] { TavorDeviceANT1Stats(Sender); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { dispatch([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { dispatch([this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { dispatch([this] { Button3Click(); }); });
    connect(Button4, &QPushButton::clicked, this, [this] { dispatch([this] { Button4Click(); }); });
}

void TForm1::ShowCentred()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
}

// ---- start-up ---------------------------------------------------------------------------------

void TForm1::FormCreate()
{
    if (offerSettingsAtFirstStart())
        useStoredRunSettings();
    if (closing_)
        return;
    if (ReadUnitType() == 0)
        showMessage(QStringLiteral("Unit type not available"));
    if (closing_)
        return;
    writeSettingsLine();
    runTrainer_ = { readForRecord(ReadTrainerDeviceNumber), readForRecord(ReadUnitType),
        static_cast<double>(readForRecord(ReadRollDiameter)), readForRecord(ReadEventPerTurn) };
    usePresetMode(ReadSpeedA() != 0);
    namePresetButtons();
    ShowWaitNotice(QStringLiteral("Wait Connection...."), false, true, 1);
    if (closing_ || !connectWhileTheNoticeIsUp()) {
        HideWaitNotice();
        if (closing_)
            return; // asked to end meanwhile: there is nothing to report
        QString message = QStringLiteral("Trainer not found ! check the power supply.");
        // A program started from a desktop menu has no terminal: say here why no stick opened.
        if (const QString why = TavorDeviceANT1->StickError(); !why.isEmpty())
            message += QStringLiteral("\n\n") + why;
        showMessage(message);
    }
}

void TForm1::usePresetMode(bool twoPresets)
{
    TwoPresetMode = twoPresets;
    Button3->setVisible(!twoPresets);
    Button1->setText(twoPresets ? QStringLiteral("PA") : QStringLiteral("P1"));
    Button2->setText(twoPresets ? QStringLiteral("PB") : QStringLiteral("P2"));
}

void TForm1::writeSettingsLine()
{
    // Read in this order; a failing read leaves Label1 as designed.
    QString settings = QStringLiteral("DN = ") + QString::number(ReadTrainerDeviceNumber());
    settings += QStringLiteral(" RD = ") + generalNumber(ReadRollDiameter());
    settings += QStringLiteral(" UT = ") + generalNumber(ReadUnitType());
    settings += QStringLiteral(" EPT = ") + QString::number(ReadEventPerTurn());
    Label1->setCaption(settings);
}

bool TForm1::connectWhileTheNoticeIsUp()
{
    try {
        TavorDeviceANT1->SetEnableConsole(false);
        TavorDeviceANT1->SetHeartEnabled(false);
        return TavorDeviceANT1->ConnectANT(ReadTrainerDeviceNumber(), 0, 0);
    } catch (...) {
        // An error here (in the connected handler, say) ends the start-up: its box must not sit
        // behind the notice, nor find the program's windows disabled.
        HideWaitNotice();
        throw;
    }
}

void TForm1::TavorDeviceANT1Connected(platform::TObject*)
{
    // First: the trainer is connected whatever the rest of this handler meets.
    keepScreenAwake(true);
    const bool byCircumference = ReadUnitType() == CircumferenceUnitType;
    if (byCircumference)
        takeRollDiameterFromCircumference();
    else
        takeRollDiameter(ReadRollDiameter());
    // The byte-wide setting takes the low eight bits.
    const auto eventsPerTurn = static_cast<std::uint8_t>(ReadEventPerTurn());
    TavorDeviceANT1->SeteventPerTurn(eventsPerTurn);
    runTrainer_.eventsPerTurn = eventsPerTurn;
    if (byCircumference) {
        // The user may enter another circumference; P1 and P2 take it.
        lblCirc->show();
        editCirc->show();
    }
    TavorDeviceANT1->Start();
    HideWaitNotice();
    Button1Click();
}

// ---- presets ----------------------------------------------------------------------------------

void TForm1::Button1Click()
{
    const runs::RunPreset preset = TwoPresetMode
        ? applyPreset(Button1, ReadSpeedA, ReadResistA, false)
        : applyPreset(Button1, [] { return ReadPresetSpeed(1); }, [] { return ReadPresetResist(1); }, false);
    startRunAfterTheCircumference(preset);
}

void TForm1::Button2Click()
{
    const runs::RunPreset preset = TwoPresetMode
        ? applyPreset(Button2, ReadSpeedB, ReadResistB, true)
        : applyPreset(Button2, [] { return ReadPresetSpeed(2); }, [] { return ReadPresetResist(2); }, true);
    startRunAfterTheCircumference(preset);
}

void TForm1::Button3Click()
{
    // P3 keeps the roll diameter it has: only P1 and P2 take a new circumference.
    runs_->presetApplied(
        applyPreset(Button3, [] { return ReadPresetSpeed(3); }, [] { return ReadPresetResist(3); }, true), runTrainer_,
        TavorDeviceANT1->Connected());
}

void TForm1::startRunAfterTheCircumference(const runs::RunPreset& preset)
{
    // The run is measured with the roll diameter the circumference gives; when the typed
    // circumference cannot be read, the run starts all the same, with the roll diameter before.
    try {
        refreshRollDiameterFromCircumference();
    } catch (...) {
        runs_->presetApplied(preset, runTrainer_, TavorDeviceANT1->Connected());
        throw;
    }
    runs_->presetApplied(preset, runTrainer_, TavorDeviceANT1->Connected());
}

runs::RunPreset TForm1::applyPreset(const QPushButton* button, const std::function<std::int32_t()>& speedRead,
                         const std::function<std::int32_t()>& levelRead, bool showLevelInTarget)
{
    // The settings are read afresh at every step, so a failing read stops the preset where it
    // fails: the marker or the labels may have moved without the level being sent, and no run
    // starts. The run's preset has the values as last read.
    std::int32_t targetSpeed = 0;
    std::int32_t targetLevel = 0;
    const auto speed = [&] { return targetSpeed = speedRead(); };
    const auto level = [&] { return targetLevel = levelRead(); };
    set_range(speed());
    QString target = QStringLiteral("Target Speed: ") + QString::number(speed());
    if (showLevelInTarget)
        target += QStringLiteral("      R->") + QString::number(level());
    lblTarget->setCaption(target);
    Label2->setCaption(QStringLiteral("R->") + QString::number(level()));
    TavorDeviceANT1->SetTavorResistance(level());
    return { button->text(), static_cast<double>(targetSpeed), targetLevel };
}

void TForm1::refreshRollDiameterFromCircumference()
{
    if (ReadUnitType() == CircumferenceUnitType)
        takeRollDiameterFromCircumference();
}

void TForm1::takeRollDiameterFromCircumference()
{
    takeRollDiameter(CircumferenceToRollDiameter(hive::textToInt(editCirc->text())));
}

void TForm1::takeRollDiameter(long double rollDiameter)
{
    TavorDeviceANT1->SetRollDiameter(rollDiameter);
    runTrainer_.rollDiameter = static_cast<double>(rollDiameter);
}

// ---- live speed -------------------------------------------------------------------------------

void TForm1::TavorDeviceANT1Stats(platform::TObject*)
{
    // A trainer lost during the ride keeps its last speed in the device; showing it would tell
    // the rider a speed that nobody measures any more.
    if (!TavorDeviceANT1->Connected()) {
        keepScreenAwake(false);
        showNotConnected();
        runs_->tick(std::nullopt);
        return;
    }
    set_arrow(TavorDeviceANT1->GetSpeed());
    lblSpeed->setCaption(devicebase::Format("Speed %.1f", { TavorDeviceANT1->GetSpeed() }));
    runs_->tick(TavorDeviceANT1->GetSpeed());
}

void TForm1::showNotConnected()
{
    VrArrow1->move(layout::VrArrow1.topLeft());
    lblSpeed->setCaption(DesignSpeedCaption);
}

void TForm1::set_range(double x)
{
    Shape2->move(ScaleItemLeft(Shape1->geometry(), Shape2->width(), x), Shape1->y());
}

void TForm1::set_arrow(double x)
{
    VrArrow1->move(ScaleItemLeft(Shape1->geometry(), VrArrow1->width(), x), VrArrow1->y());
}

// ---- close ------------------------------------------------------------------------------------

void TForm1::Button4Click()
{
    closing_ = true;
    if (TavorDeviceANT1->Connected())
        TavorDeviceANT1->Disconnect();
    keepScreenAwake(false);
    runs_->end();
    close();
}

void TForm1::keepScreenAwake(bool awake)
{
    if (awake == screenKeptAwake_)
        return;
    screenKeptAwake_ = awake;
    if (awake)
        platform::desktop().keepScreenAwake(ScreenAwakeReason);
    else
        platform::desktop().letScreenSleep();
}

void TForm1::CloseOnRequest()
{
    if (std::exchange(closing_, true))
        return;
    // Connected() holds from the stick's opening on, so a connection under way is ended too. A
    // session that logs out waits only so long for its programs: the closing takes the stick's
    // confirmations instead of the full second for each step.
    if (TavorDeviceANT1 && TavorDeviceANT1->Connected())
        TavorDeviceANT1->DisconnectPromptly();
    keepScreenAwake(false);
    if (runs_)
        runs_->end();
    close();
    // Also when another window of the program is still shown; before the event loop runs this
    // does nothing, and the program's start sees Closing() instead.
    QCoreApplication::quit();
}

// ---- run strip and context menu ---------------------------------------------------------------

void TForm1::showRunStrip(bool shown)
{
    runStripShown_ = shown;
    RunStrip1->setVisible(shown);
    setFixedSize(windowSize(shown));
    update();
}

void TForm1::toggleRunStrip()
{
    showRunStrip(!runStripShown_);
    try {
        runs::storeRunStripShown(runStripShown_);
    } catch (const platform::Error& error) {
        showMessage(QStringLiteral("Caltrix cannot remember whether the run strip is shown: %1.").arg(error.message()));
    }
}

void TForm1::openRunsFolder()
{
    const QString folder = QDir::toNativeSeparators(runs_->recordFolder());
    if (!QDir().mkpath(runs_->recordFolder())) {
        showMessage(QStringLiteral("The runs folder %1 cannot be made: check that its parent folder can be written.")
                        .arg(folder));
        return;
    }
    if (!platform::desktop().openFolder(runs_->recordFolder())) {
        showMessage(QStringLiteral("No file manager could open the runs folder %1. Open it yourself: each "
                                   "start of Caltrix keeps its runs there in a CSV file.")
                        .arg(folder));
    }
}

// ---- frame and dragging -----------------------------------------------------------------------

void TForm1::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(QPen(borderColour(), 0));
    // The designed area keeps its own border; the strip below it shares its top edge.
    painter.drawRect(QRectF(QPointF(), QSizeF(windowSize(false))).adjusted(0.5, 0.5, -0.5, -0.5));
    if (runStripShown_)
        painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

void TForm1::mousePressEvent(QMouseEvent* event)
{
    const QRect band = layout::Shape3.translated(ClientArea->pos());
    if (event->button() != Qt::LeftButton || !band.contains(event->position().toPoint())) {
        QWidget::mousePressEvent(event);
        return;
    }
    // The window has no title bar: its red band is where it is grabbed. The window manager, or a
    // Wayland compositor, moves it where it can; elsewhere the window follows the pointer itself.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - pos();
}

void TForm1::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_)
        move(event->globalPosition().toPoint() - dragOffset_);
    else
        QWidget::mouseMoveEvent(event);
}

void TForm1::mouseReleaseEvent(QMouseEvent* event)
{
    dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}

} // namespace caltrix::app
