#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "framework/Classes.h"
#include "framework/Exception.h"
#include "framework/ExceptionBoundary.h"

namespace {

std::vector<std::string> freed;

class TProbe : public TComponent {
    VIDUDO_CLASS(TProbe, TComponent)
public:
    using TComponent::TComponent;
    ~TProbe() override { freed.push_back(Name()); }
    void Loaded() override
    {
        TComponent::Loaded();
        loadedCount++;
    }
    void Notification(TComponent* c, TOperation op) override { notes.push_back(c->Name() + (op == TOperation::opInsert ? "+" : "-")); }
    int loadedCount = 0;
    std::vector<std::string> notes;
};

}  // namespace

TEST(Classes, OwnershipNamesAndClassNames)
{
    freed.clear();
    auto* owner = new TProbe(nullptr);
    owner->SetName("owner");
    auto* a = new TProbe(owner);
    a->SetName("a");
    auto* b = new TProbe(owner);
    b->SetName("b");
    EXPECT_EQ(2, owner->ComponentCount());
    EXPECT_EQ(b, owner->FindComponent("B"));
    EXPECT_EQ(nullptr, owner->FindComponent(""));
    EXPECT_EQ("TProbe", owner->ClassName());
    EXPECT_TRUE(owner->Is<TComponent>());
    EXPECT_TRUE(owner->InheritsFrom("TObject"));
    EXPECT_FALSE(owner->InheritsFrom("TButton"));
    owner->Loaded();
    EXPECT_EQ(1, a->loadedCount);
    EXPECT_FALSE(b->Loading());
    delete a;
    EXPECT_EQ(1, owner->ComponentCount());
    EXPECT_EQ(1u, b->notes.size());  // b heard that a left
    delete owner;
    // The owner's own destructor body runs before its base frees what it owns.
    EXPECT_EQ((std::vector<std::string>{"a", "owner", "b"}), freed);
}

namespace {

// Records the class each announced component has by then.
class TListener : public TComponent {
    VIDUDO_CLASS(TListener, TComponent)
public:
    using TComponent::TComponent;
    void Notification(TComponent* c, TOperation op) override
    {
        if (op == TOperation::opInsert)
            heard.emplace_back(c->ClassName());
    }
    std::vector<std::string> heard;
};

class TLateProbe : public TListener {
    VIDUDO_CLASS(TLateProbe, TListener)
public:
    using TListener::TListener;
};

}  // namespace

TEST(Classes, NewComponentsAreAnnouncedAfterConstructionToOwnerAndSiblings)
{
    TComponent::AnnounceNewComponents();  // nothing left over from other tests
    TListener owner(nullptr);
    auto* sibling = new TListener(&owner);
    auto* gone = new TLateProbe(&owner);
    delete gone;  // freed before its announcement: nobody hears of it
    auto* late = new TLateProbe(&owner);
    EXPECT_TRUE(owner.heard.empty()) << "nothing is announced from a constructor";
    TComponent::AnnounceNewComponents();
    EXPECT_EQ((std::vector<std::string>{"TListener", "TLateProbe"}), owner.heard);
    EXPECT_EQ((std::vector<std::string>{"TLateProbe"}), sibling->heard) << "the final class, told to the sibling";
    EXPECT_EQ(0, std::count(late->heard.begin(), late->heard.end(), "TLateProbe")) << "not told of itself";
    TComponent::AnnounceNewComponents();
    EXPECT_EQ(2u, owner.heard.size()) << "each component once";

    // Moving a finished component to another owner is announced at once.
    TListener other(nullptr);
    other.InsertComponent(late);
    EXPECT_EQ((std::vector<std::string>{"TLateProbe"}), other.heard);
}

TEST(ExceptionBoundary, CatchesAndHandsOver)
{
    std::string seen;
    auto previous = SetBoundaryExceptionHandler([&](std::exception_ptr e) { seen = BoundaryExceptionMessage(e); });
    GuardedCall([] { throw Exception("boom"); });
    EXPECT_EQ("boom", seen);
    EXPECT_EQ(5, GuardedCall(5, []() -> int { throw 42; }));
    EXPECT_EQ("Unknown exception", seen);
    SetBoundaryExceptionHandler([](std::exception_ptr) { throw 1; });
    GuardedCall([] { throw Exception("handler fails"); });  // must not escape
    SetBoundaryExceptionHandler(previous);
}
