#pragma once
// Object and component model: class names as the design spells them (code selects controls by
// them), an ownership tree whose owner frees its components, names and tags.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Declares ClassName() and the "is" test of a class derived from Base.
#define VIDUDO_CLASS(Name, Base)                                                     \
public:                                                                              \
    static constexpr std::string_view StaticClassName() { return #Name; }            \
    std::string_view ClassName() const override { return #Name; }                    \
    bool InheritsFrom(std::string_view name) const override                          \
    {                                                                                \
        return name == #Name || Base::InheritsFrom(name);                            \
    }

class TObject {
public:
    virtual ~TObject() = default;
    static constexpr std::string_view StaticClassName() { return "TObject"; }
    virtual std::string_view ClassName() const { return "TObject"; }
    // True when this object's class or one of its ancestors is called name.
    virtual bool InheritsFrom(std::string_view name) const { return name == "TObject"; }
    template <class T>
    bool Is() const { return InheritsFrom(T::StaticClassName()); }
};

enum class TOperation { opInsert, opRemove };

class TComponent : public TObject {
    VIDUDO_CLASS(TComponent, TObject)
public:
    explicit TComponent(TComponent* owner = nullptr);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<size_t>(index)); }
    TComponent* FindComponent(std::string_view name) const;

    const std::string& Name() const { return name_; }
    virtual void SetName(const std::string& name) { name_ = name; }
    intptr_t Tag() const { return tag_; }
    void SetTag(intptr_t tag) { tag_ = tag; }

    // Runs after the builder has set every property, like the end of loading a streamed form:
    // on this component, then on each owned component in order.
    virtual void Loaded();
    bool Loading() const { return loading_; }

    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

    // Sent to the owner and every other owned component when one joins or leaves. A component
    // created with an owner is announced only after its constructor has run (a constructor
    // still running has not made the object its final class): by AnnounceNewComponents.
    virtual void Notification(TComponent* component, TOperation operation) {}

    // Announces the components created since the last call. The application calls it from
    // its own message, posted through the waker when the first component starts waiting.
    static void AnnounceNewComponents();
    static void SetAnnouncementWaker(void (*waker)());

protected:
    bool loading_ = true;

private:
    void Adopt(TComponent* component);
    void AnnounceInsert(TComponent* component);

    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;
    std::string name_;
    intptr_t tag_ = 0;
};
