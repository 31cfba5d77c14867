#include "platform/Component.h"

#include "platform/Error.h"

#include <algorithm>

namespace caltrix::platform {

// ---- TPersistent ------------------------------------------------------------------------------

void TPersistent::Assign(const TPersistent* source)
{
    if (!source)
        AssignError(nullptr);
    source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* dest) const { dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* source) const
{
    const QString sourceName = source ? source->ClassName() : QStringLiteral("nil");
    throw ConvertError(QStringLiteral("Cannot assign a %1 to a %2").arg(sourceName, ClassName()));
}

const Property* PropertyList::find(const QString& name) const
{
    for (const auto& p : properties_)
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return &p;
    return nullptr;
}

// ---- TComponent -------------------------------------------------------------------------------

TComponent::TComponent(TComponent* owner)
    : owner_(owner)
{
    if (owner_) {
        owner_->components_.push_back(this);
        designing_ = owner_->designing_;
    }
}

TComponent::~TComponent()
{
    Destroying();
    // Tell everyone who asked; they drop their references to this component.
    while (!freeNotifies_.empty()) {
        TComponent* other = freeNotifies_.back();
        freeNotifies_.pop_back();
        auto& theirs = other->freeNotifies_;
        theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
        other->Notification(this, Operation::Remove);
    }
    while (!components_.empty()) {
        TComponent* child = components_.back();
        child->owner_ = nullptr;
        components_.pop_back();
        delete child;
    }
    if (owner_) {
        auto& siblings = owner_->components_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        owner_->Notification(this, Operation::Remove);
    }
}

TComponent* TComponent::FindComponent(const QString& name) const
{
    for (TComponent* c : components_)
        if (c->name_.compare(name, Qt::CaseInsensitive) == 0)
            return c;
    return nullptr;
}

void TComponent::FreeNotification(TComponent* other)
{
    if (!other || other == this)
        return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end())
        freeNotifies_.push_back(other);
    if (std::find(other->freeNotifies_.begin(), other->freeNotifies_.end(), this) == other->freeNotifies_.end())
        other->freeNotifies_.push_back(this);
}

void TComponent::Notification(TComponent*, Operation) { }

void TComponent::SetDesigning(bool designing)
{
    designing_ = designing;
    for (TComponent* c : components_)
        c->SetDesigning(designing);
}

void TComponent::Destroying()
{
    if (destroying_)
        return;
    destroying_ = true;
    for (TComponent* c : components_)
        c->Destroying();
}

void TComponent::DefineProperties(PropertyList&) { }

} // namespace caltrix::platform
