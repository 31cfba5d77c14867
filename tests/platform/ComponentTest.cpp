#include "platform/Component.h"
#include "platform/Error.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

using namespace caltrix::platform;

namespace {

// A component with one property of every stored kind.
class TSample : public TComponent {
public:
    using TComponent::TComponent;
    QString ClassName() const override { return QStringLiteral("TSample"); }

    bool flag = false;
    int count = 7;
    unsigned tolerance = 100;
    double ratio = 1.5;
    QString text;
    QStringList lines;
    QByteArray data;
    int mode = 0;
    int loadedCalls = 0;
    std::vector<std::pair<TComponent*, Operation>> notifications;

    void DefineProperties(PropertyList& p) override
    {
        TComponent::DefineProperties(p);
        p.add({ "Flag", [this] { return QVariant(flag); }, [this](const QVariant& v) { flag = v.toBool(); }, QVariant(false) });
        p.add({ "Count", [this] { return QVariant(count); }, [this](const QVariant& v) { count = v.toInt(); }, QVariant(7) });
        // Declared default 50 differs from the start value 100, as some device properties do.
        p.add({ "Tolerance", [this] { return QVariant(tolerance); }, [this](const QVariant& v) { tolerance = v.toUInt(); },
            QVariant(50u) });
        p.add({ "Ratio", [this] { return QVariant(ratio); }, [this](const QVariant& v) { ratio = v.toDouble(); } });
        p.add({ "Text", [this] { return QVariant(text); }, [this](const QVariant& v) { text = v.toString(); } });
        p.add({ "Lines", [this] { return QVariant(lines); }, [this](const QVariant& v) { lines = v.toStringList(); },
            std::nullopt, {}, [this] { return !lines.isEmpty(); } });
        p.add({ "Data", [this] { return QVariant(data); }, [this](const QVariant& v) { data = v.toByteArray(); } });
        p.add({ "Mode", [this] { return QVariant(mode); }, [this](const QVariant& v) { mode = v.toInt(); }, std::nullopt,
            { "mdOff", "mdOn", "mdAuto" } });
    }
    void Loaded() override
    {
        TComponent::Loaded();
        ++loadedCalls;
    }
    void Notification(TComponent* c, Operation op) override { notifications.emplace_back(c, op); }
};

} // namespace

TEST(ComponentStorage, RoundTripsEveryKindAndOmitsDeclaredDefaults)
{
    TSample source(nullptr);
    source.SetName("Sample1");
    source.flag = true;
    source.tolerance = 50; // equal to its declared default: left out
    source.ratio = 0.1;
    source.text = QString::fromUtf8("it's a \"test\"\twith\nbreaks and é 日");
    source.lines = { "first", "", "x'y" };
    source.data = QByteArray("\x00\xFF\x10", 3);
    source.mode = 2;
    auto* child = new TSample(&source);
    child->SetName("Inner");
    child->count = -3;
    child->tolerance = 50;

    const QString form = writeComponent(source);
    EXPECT_TRUE(form.startsWith("object Sample1: TSample\n"));
    EXPECT_FALSE(form.contains("Tolerance"));
    EXPECT_FALSE(form.contains("Count = 7"));
    EXPECT_TRUE(form.contains("Mode = mdAuto"));

    TSample target(nullptr);
    auto* targetChild = new TSample(&target);
    targetChild->SetName("inner"); // names compare without regard to case
    readComponent(target, form);

    EXPECT_EQ(target.Name(), "Sample1");
    EXPECT_TRUE(target.flag);
    EXPECT_EQ(target.tolerance, 100u) << "an omitted property keeps the constructor's value";
    EXPECT_EQ(target.ratio, 0.1);
    EXPECT_EQ(target.text, source.text);
    EXPECT_EQ(target.lines, source.lines);
    EXPECT_EQ(target.data, source.data);
    EXPECT_EQ(target.mode, 2);
    EXPECT_EQ(targetChild->count, -3);
    EXPECT_EQ(target.loadedCalls, 1);
    EXPECT_EQ(targetChild->loadedCalls, 1);
    EXPECT_FALSE(target.loading());
    target.tolerance = targetChild->tolerance = 50;
    EXPECT_EQ(writeComponent(target).replace("object inner", "object Inner"), form) << "everything else round-trips";
}

TEST(ComponentStorage, MalformedFormsNameTheLineAndChangeNothing)
{
    struct Case {
        const char* form;
        const char* message;
    };
    const Case cases[] = {
        { "object S: TSample\n  Count = 12\n  Count = x\nend\n", "line 3: Count needs a whole number, not 'x'" },
        { "object S: TSample\n  Flag = True\n  Nope = 1\nend\n", "line 3: TSample has no property 'Nope'" },
        { "object S: TSample\n  Text = 'open\nend\n", "line 2: a text is not closed by a quote" },
        { "object S: TSample\n  Mode = mdMaybe\nend\n", "line 2: Mode is one of mdOff, mdOn, mdAuto, not 'mdMaybe'" },
        { "object S: TOther\nend\n", "line 1: 'S' is stored as a TOther but is a TSample" },
        { "object S: TSample\n  Count = 1\n", "'end' of 'S' missing" },
        { "object S: TSample\n  Tolerance = -1\nend\n", "line 2: Tolerance is out of range: -1" },
        { "object S: TSample\n  object Missing: TSample\n  end\nend\n", "line 2: S has no component named 'Missing'" },
        { "object S: TSample\n  Data = {ABC}\nend\n", "line 2: Data holds binary data that is not pairs of hex digits" },
    };
    for (const auto& c : cases) {
        TSample target(nullptr);
        try {
            readComponent(target, QString::fromUtf8(c.form));
            ADD_FAILURE() << "accepted: " << c.form;
        } catch (const Error& e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.message))) << e.message().toStdString();
        }
        EXPECT_EQ(target.count, 7) << c.form;
        EXPECT_FALSE(target.flag) << c.form;
        EXPECT_EQ(target.loadedCalls, 0);
    }
}

TEST(Component, OwnerFreesItsComponentsAndFreeNotificationsAreSent)
{
    auto* owner = new TSample(nullptr);
    auto* owned = new TSample(owner);
    TSample watcher(nullptr);
    owned->FreeNotification(&watcher);
    ASSERT_EQ(owner->ComponentCount(), 1);

    delete owner; // frees `owned` too; ASan reports a leak otherwise
    ASSERT_EQ(watcher.notifications.size(), 1u);
    EXPECT_EQ(watcher.notifications[0].first, owned);
    EXPECT_EQ(watcher.notifications[0].second, Operation::Remove);
}

TEST(Component, DestroyingAndDesigningReachOwnedComponents)
{
    TSample owner(nullptr);
    auto* owned = new TSample(&owner);
    owner.SetDesigning(true);
    EXPECT_TRUE(owned->designing());
    EXPECT_TRUE((new TSample(&owner))->designing()) << "a component created in a designing owner designs too";
    owner.Destroying();
    EXPECT_TRUE(owned->destroying());
}

TEST(Component, AssignWithoutAWayToCopyFailsNamingBothClasses)
{
    TSample a(nullptr);
    TComponent b(nullptr);
    try {
        a.Assign(&b);
        FAIL();
    } catch (const ConvertError& e) {
        EXPECT_EQ(e.message(), "Cannot assign a TComponent to a TSample");
    }
    EXPECT_THROW(a.Assign(nullptr), ConvertError);
}
