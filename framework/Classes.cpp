#include "framework/Classes.h"

#include <algorithm>

#include "framework/SysUtils.h"

namespace {

// Components created on the main thread whose owner has not been told yet, and the batch
// being announced; a component freed meanwhile clears its entry.
std::vector<TComponent*> awaitingAnnouncement;
std::vector<TComponent*> announcing;
void (*announcementWaker)() = nullptr;

void Forget(std::vector<TComponent*>& list, TComponent* c) { std::replace(list.begin(), list.end(), c, static_cast<TComponent*>(nullptr)); }

}  // namespace

TComponent::TComponent(TComponent* owner)
{
    if (!owner)
        return;
    owner->Adopt(this);
    awaitingAnnouncement.push_back(this);
    if (awaitingAnnouncement.size() == 1 && announcementWaker)
        announcementWaker();
}

void TComponent::SetAnnouncementWaker(void (*waker)())
{
    announcementWaker = waker;
    if (waker && !awaitingAnnouncement.empty())
        waker();
}

void TComponent::AnnounceNewComponents()
{
    if (!announcing.empty())
        return;  // a receiver asked again: the running call finishes the work
    // Receivers may create components of their own; those are announced in the same call.
    for (int rounds = 0; rounds < 16 && !awaitingAnnouncement.empty(); ++rounds) {
        announcing.swap(awaitingAnnouncement);
        for (size_t i = 0; i < announcing.size(); ++i)
            if (TComponent* c = announcing[i]; c && c->owner_)
                c->owner_->AnnounceInsert(c);
        announcing.clear();
    }
    if (!awaitingAnnouncement.empty() && announcementWaker)
        announcementWaker();
}

TComponent::~TComponent()
{
    Forget(awaitingAnnouncement, this);
    Forget(announcing, this);
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
    Adopt(component);
    AnnounceInsert(component);
}

void TComponent::Adopt(TComponent* component)
{
    if (component->owner_)
        component->owner_->RemoveComponent(component);
    component->owner_ = this;
    components_.push_back(component);
}

void TComponent::AnnounceInsert(TComponent* component)
{
    Notification(component, TOperation::opInsert);
    // A copy: a receiver may add or free components; only those still owned hear of it.
    const std::vector<TComponent*> others = components_;
    for (TComponent* c : others)
        if (c != component && component->owner_ == this &&
            std::find(components_.begin(), components_.end(), c) != components_.end())
            c->Notification(component, TOperation::opInsert);
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
