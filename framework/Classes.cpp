#include "framework/Classes.h"

#include <algorithm>

#include "framework/SysUtils.h"

TComponent::TComponent(TComponent* owner)
{
    if (owner)
        owner->InsertComponent(this);
}

TComponent::~TComponent()
{
    // Owned components go in reverse order of creation; each removes itself first.
    while (!components_.empty())
        delete components_.back();
    if (owner_)
        owner_->RemoveComponent(this);
}

TComponent* TComponent::FindComponent(std::string_view name) const
{
    if (name.empty())
        return nullptr;
    for (auto* c : components_)
        if (SameText(c->Name(), name))
            return c;
    return nullptr;
}

void TComponent::Loaded()
{
    loading_ = false;
    for (auto* c : components_)
        if (c->loading_)
            c->Loaded();
}

void TComponent::InsertComponent(TComponent* component)
{
    if (!component || component->owner_ == this)
        return;
    if (component->owner_)
        component->owner_->RemoveComponent(component);
    component->owner_ = this;
    components_.push_back(component);
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component)
{
    auto it = std::find(components_.begin(), components_.end(), component);
    if (it == components_.end())
        return;
    components_.erase(it);
    component->owner_ = nullptr;
    Notification(component, TOperation::opRemove);
    for (auto* c : components_)
        c->Notification(component, TOperation::opRemove);
}
