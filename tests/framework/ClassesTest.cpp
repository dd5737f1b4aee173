#include <gtest/gtest.h>

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
