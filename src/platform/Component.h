#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>
#include <vector>

namespace caltrix::platform {

// Base of everything that can copy itself from another object of a related kind.
class TPersistent {
public:
    virtual ~TPersistent() = default;

    // Copies `source` into this object. The base asks the source to assign itself here
    // (`AssignTo`) and fails with "Cannot assign a %s to a %s" when neither side knows how.
    virtual void Assign(const TPersistent* source);
    // Copies this object into `dest`; the base fails with "Cannot assign a %s to a %s".
    virtual void AssignTo(TPersistent* dest) const;
    virtual QString ClassName() const { return QStringLiteral("TPersistent"); }

protected:
    // Raises the assignment error with `source`'s class name (or "nil") and this class's name.
    [[noreturn]] void AssignError(const TPersistent* source) const;
};

// Any object of the component framework, as the sender of an event.
using TObject = TPersistent;

// An event: a callable bound to an object, or nothing. Raising an unassigned event does nothing.
using TNotifyEvent = std::function<void(TObject* Sender)>;

class TComponent;

// One stored (published or defined) property of a component: how to read and write it as a
// QVariant (bool, int, unsigned, double, QString, QStringList, QByteArray), and when it is left
// out of the stored form.
struct Property {
    QString name;
    std::function<QVariant()> get;
    std::function<void(const QVariant&)> set;
    // A property equal to its declared default is not written.
    std::optional<QVariant> declaredDefault = std::nullopt;
    // Enumerations: the identifier of each value, written instead of the number.
    QStringList enumNames = {};
    // Extra condition for writing (defined properties); unset means always.
    std::function<bool()> stored = {};
};

class PropertyList {
public:
    void add(Property property) { properties_.push_back(std::move(property)); }
    const std::vector<Property>& all() const { return properties_; }
    const Property* find(const QString& name) const;

private:
    std::vector<Property> properties_;
};

enum class Operation { Insert, Remove };

// A named object with an owner. Owned components are freed with their owner; components that
// asked for a free notification hear of each other's destruction. Main thread only.
class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    QString ClassName() const override { return QStringLiteral("TComponent"); }

    TComponent* Owner() const { return owner_; }
    const QString& Name() const { return name_; }
    virtual void SetName(const QString& name) { name_ = name; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<std::size_t>(index)); }
    TComponent* FindComponent(const QString& name) const;

    // After this call `other->Notification(this, Operation::Remove)` runs when this component is
    // destroyed, and the other way round.
    void FreeNotification(TComponent* other);
    virtual void Notification(TComponent* component, Operation operation);

    // Design mode: being edited in a form designer (set for owned components too).
    bool designing() const { return designing_; }
    void SetDesigning(bool designing);
    // Loading: its properties are being read from a stored form; `Loaded` ends it.
    bool loading() const { return loading_; }
    virtual void Loaded() { loading_ = false; }
    // Destroying: set before any destructor code runs when the owner frees it, or by the
    // destructor of a derived class that calls `Destroying()` first.
    bool destroying() const { return destroying_; }
    void Destroying();

    // Lists the properties that the stored form holds, base class first.
    virtual void DefineProperties(PropertyList& properties);

private:
    friend void readComponent(TComponent&, const QString&);
    void BeginLoading() { loading_ = true; }

    TComponent* owner_;
    QString name_;
    std::vector<TComponent*> components_;
    std::vector<TComponent*> freeNotifies_;
    bool designing_ = false;
    bool loading_ = false;
    bool destroying_ = false;
};

// The stored form of a component, its owned components nested inside:
//
//   object Device1: TVelCustomDevice
//     RiderName = 'Anna'
//     UOM = umMiles
//     StrData = (
//       'a'
//       'b')
//   end
//
// Strings are single-quoted with '' for a quote and #n for a control character. A property
// equal to its declared default is left out.
QString writeComponent(const TComponent& component);

// Reads a stored form into `component` (and its owned components, found by name), then calls
// `Loaded` on each. The whole form is checked before anything is set: a malformed form, an
// unknown property or component, or a value of the wrong kind throws platform::Error naming the
// line and leaves every component as it was.
void readComponent(TComponent& component, const QString& text);

} // namespace caltrix::platform
