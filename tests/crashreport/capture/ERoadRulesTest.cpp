#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EExcludedThreads.h"
#include "crashreport/capture/EModuleInfo.h"
#include "crashreport/capture/ERoadRules.h"
#include "crashreport/capture/EStack.h"

namespace {

// CRC-16/XMODEM written out bit by bit, apart from the one under test.
uint16_t ReferenceCrc(const std::string& text)
{
    uint16_t crc = 0;
    for (unsigned char c : text) {
        crc ^= static_cast<uint16_t>(c << 8);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

struct TFrame {
    TVurazaModuleInfo* module;
    uint8_t kind;
    const char* unit;
    const char* procedure;
    int line, distance;
};

std::string BugIdOf(const std::vector<TFrame>& frames)
{
    TVurazaStackList list;
    for (const TFrame& f : frames) {
        auto item = std::make_unique<TVurazaStackItem>();
        item->Module = f.module;
        item->Kind = f.kind;
        item->UnitName.Assign(f.unit);
        item->ProcedureName.Assign(f.procedure);
        item->Line = f.line;
        item->LineDistance = f.distance;
        list.Add(std::move(item));
    }
    return BugIdOfText(BugIdSourceText("Vidudo.exe - (1.0.0.1)", "Vidudo.exe - (1.0.0.1)", "EAccessViolation", list));
}

TEST(RoadRules, BugIdFollowsLineDistancesInTheFaultingModuleOnly)
{
    TVurazaModuleInfo program, library;
    const std::vector<TFrame> base = {{&program, 4, "MainOrder.cpp", "OkButtonClick", 120, 7},
                                      {&program, 4, "Forms.cpp", "WndProc", 300, 12},
                                      {&library, 4, "Lib.cpp", "Helper", 40, 3}};
    auto changed = [&](auto edit) {
        std::vector<TFrame> frames = base;
        edit(frames);
        return BugIdOf(frames);
    };
    const std::string id = BugIdOf(base);
    // Blank lines before the function move its lines together: the distance stays.
    EXPECT_EQ(id, changed([](auto& f) { f[0].line += 5; }));
    // A line inside it before the fault moves the distance.
    EXPECT_NE(id, changed([](auto& f) { f[0].distance += 1; }));
    // Another module's frames and frames without a line don't count.
    EXPECT_EQ(id, changed([](auto& f) { f[2].distance += 9; }));
    EXPECT_EQ(id, changed([](auto& f) { f.push_back({f[0].module, 3, "X.cpp", "Y", 1, 1}); }));
    EXPECT_NE(id, changed([](auto& f) { f[1].procedure = "OtherProc"; }));
}

TEST(RoadRules, BugIdIsTheCrc16OfTheDocumentedText)
{
    TVurazaModuleInfo program;
    TVurazaStackList list;
    auto item = std::make_unique<TVurazaStackItem>();
    item->Module = &program;
    item->Kind = 4;
    item->UnitName.Assign("Unit.cpp");
    item->ClassName.Assign("TForm");
    item->ProcedureName.Assign("Click");
    item->LineDistance = 4;
    list.Add(std::move(item));
    const std::string text = BugIdSourceText(BugModuleText("a.exe", "1.2"), BugModuleText("b.dll", ""), "EType", list);
    EXPECT_EQ(text, "a.exe - (1.2)b.dllETypeUnit.cppTFormClick4");
    char expected[8];
    std::snprintf(expected, sizeof expected, "%04X", ReferenceCrc(text));
    EXPECT_EQ(BugIdOfText(text), expected);
    EXPECT_EQ(BugIdOfText("123456789"), "31C3");  // the CRC-16/XMODEM check value
}

TEST(RoadRules, OutputKindsAndDialogChoices)
{
    struct {
        uint8_t requested;
        bool web, console;
        uint8_t kind;
    } kinds[] = {{0, true, false, 2}, {0, false, true, 1}, {0, false, false, 0}, {1, true, true, 1},
                 {1, false, false, 0}, {2, false, false, 2}, {7, true, true, 0}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.requested);
        EXPECT_EQ(ChooseOutputKind(k.requested, k.web, k.console), k.kind);
    }
    const uint8_t states[] = {0, 2, 1, 2, 3, 0};  // choices 0..5 with DialogKind 2
    for (uint8_t choice = 0; choice < 6; ++choice)
        EXPECT_EQ(FilterDialogState(choice, 2), states[choice]) << int(choice);
}

TEST(RoadRules, SendingNeedsAMethodNoDuplicateAndConsent)
{
    EXPECT_FALSE(ShouldSendReport(0, 0, false, true, 2));
    EXPECT_FALSE(ShouldSendReport(1, 0, true, true, 2));
    EXPECT_FALSE(ShouldSendReport(1, 0, false, false, 2));
    EXPECT_TRUE(ShouldSendReport(1, 0, false, false, 0));
    EXPECT_TRUE(ShouldSendReport(0, 3, false, true, 2));
}

TEST(RoadRules, PumpingAndThreadsKeptStill)
{
    EXPECT_TRUE(PumpingAllowed(false, 0x58));
    EXPECT_FALSE(PumpingAllowed(true, 0x58));
    EXPECT_FALSE(PumpingAllowed(false, 0x1));
    EXPECT_TRUE(PumpingAllowed(false, 0x3));
    EXPECT_TRUE(ThreadStackShown(true, false, 0x4));
    EXPECT_FALSE(ThreadStackShown(false, false, 0x4));
    EXPECT_TRUE(ThreadStackShown(false, false, 0x8));
    EXPECT_TRUE(ThreadStackShown(false, true, 0x4));
    EXPECT_TRUE(ThreadKeptStill(false, false, 0x4));
    EXPECT_FALSE(ThreadKeptStill(false, true, 0x4));
    EXPECT_TRUE(ThreadKeptStill(true, false, 0x1));
    EXPECT_FALSE(ThreadKeptStill(true, false, 0x3));
    EXPECT_TRUE(ThreadKeptStill(false, true, 0x3));
}

TEST(RoadRules, PumpedMessages)
{
    struct {
        uint32_t message;
        TPumpVerdict verdict;
    } table[] = {{0x12, TPumpVerdict::Drop}, {0xA1, TPumpVerdict::BeepAndDrop}, {0xA9, TPumpVerdict::BeepAndDrop},
                 {0xAA, TPumpVerdict::Dispatch}, {0x100, TPumpVerdict::BeepAndDrop}, {0x103, TPumpVerdict::Dispatch},
                 {0x106, TPumpVerdict::BeepAndDrop}, {0x200, TPumpVerdict::Dispatch}, {0x201, TPumpVerdict::BeepAndDrop},
                 {0x209, TPumpVerdict::BeepAndDrop}, {0x20A, TPumpVerdict::Dispatch}, {0x0F, TPumpVerdict::Dispatch}};
    for (const auto& t : table)
        EXPECT_EQ(ClassifyPumpedMessage(t.message), t.verdict) << std::hex << t.message;
}

TEST(RoadRules, EnvironmentValuesAreCappedOnWholeCharacters)
{
    const std::string report(40000, 'r');
    EXPECT_EQ(CapGbkText(report, EnvironmentValueLimit).size(), 32767u);
    const std::string chinese = std::string(32766, 'a') + "\xB6\xAB\xB6\xAB";  // two double-byte characters
    const std::string capped = CapGbkText(chinese, EnvironmentValueLimit);
    EXPECT_EQ(capped.size(), 32768u);  // 32,766 + one whole pair: 32,767 characters
    EXPECT_EQ(CapGbkText("ab", EnvironmentValueLimit), "ab");
}

TEST(RoadRules, TheSameExceptionByIdentityNotByMessage)
{
    int a = 0, b = 0;
    EXPECT_TRUE((TExceptionIdentity{&a, 0, 0, 1}).Same({&a, 5, 9, 2}));
    EXPECT_FALSE((TExceptionIdentity{&a, 0, 0, 1}).Same({&b, 0, 0, 1}));
    EXPECT_TRUE((TExceptionIdentity{nullptr, 0xC0000005, 0x401000, 7}).Same({&b, 0xC0000005, 0x401000, 7}));
    EXPECT_FALSE((TExceptionIdentity{nullptr, 0xC0000005, 0x401000, 7}).Same({nullptr, 0xC0000005, 0x401000, 8}));
    EXPECT_FALSE((TExceptionIdentity{}).Same({}));
}

std::vector<std::string> seen;

void Named(void* data, TVurazaExceptionRecord&, bool& handle)
{
    seen.push_back(static_cast<const char*>(data));
    if (seen.back() == "clear")
        handle = false;
}

void Procedure(void*, TVurazaExceptionRecord&, bool&)
{
    seen.push_back("procedure");
}

TEST(RoadEvents, OwnersLastRegisteredFirstThenTheProcedureVariable)
{
    seen.clear();
    TDuruvaDodHandlers a, b, c;
    a.Data = const_cast<char*>("A");
    a.ExceptionNotify = Named;
    b.Data = const_cast<char*>("B");
    b.ExceptionNotify = Named;
    c.Data = const_cast<char*>("C");  // no slot set: skipped
    ASSERT_TRUE(RegisterDuruvaDodHandlers(&a));
    ASSERT_TRUE(RegisterDuruvaDodHandlers(&c));
    ASSERT_TRUE(RegisterDuruvaDodHandlers(&b));
    DuruvaDodEventProcedures().ExceptionNotify = Procedure;
    bool handle = true;
    LocalExceptionNotify(CurrentExceptionRecord, false, handle);
    EXPECT_EQ(seen, (std::vector<std::string>{"B", "A", "procedure"}));
    // The handled form goes to its own slot only.
    seen.clear();
    LocalExceptionNotify(CurrentExceptionRecord, true, handle);
    EXPECT_TRUE(seen.empty());
    UnregisterDuruvaDodHandlers(&b);
    UnregisterDuruvaDodHandlers(&a);
    UnregisterDuruvaDodHandlers(&c);
    DuruvaDodEventProcedures().ExceptionNotify = nullptr;
}

TEST(RoadEvents, WithoutHandlersFlagsKeepTheirValues)
{
    bool handle = true, continueFlag = false, retry = true, close = false;
    LocalExceptionNotify(CurrentExceptionRecord, false, handle);
    LocalExceptionActionNotify(CurrentExceptionRecord, ActionBeforeMail, continueFlag);
    LocalExceptionErrorNotify(CurrentExceptionRecord, 5, retry);
    LocalCustomButtonClick(CurrentExceptionRecord, close);
    EXPECT_TRUE(handle);
    EXPECT_FALSE(continueFlag);
    EXPECT_TRUE(retry);
    EXPECT_FALSE(close);
}

TEST(RoadEvents, AHandlerThatClearsTheFlagIsSeenByTheNext)
{
    seen.clear();
    TDuruvaDodHandlers clear, after;
    clear.Data = const_cast<char*>("clear");
    clear.ExceptionNotify = Named;
    after.Data = const_cast<char*>("after");
    after.ExceptionNotify = Named;
    RegisterDuruvaDodHandlers(&after);
    RegisterDuruvaDodHandlers(&clear);
    bool handle = true;
    LocalExceptionNotify(CurrentExceptionRecord, false, handle);
    EXPECT_FALSE(handle);
    EXPECT_EQ(seen, (std::vector<std::string>{"clear", "after"}));
    UnregisterDuruvaDodHandlers(&clear);
    UnregisterDuruvaDodHandlers(&after);
}

// Each event reaches its own slot of every owner, and the procedure variable last.
std::vector<std::string> slotsSeen;

template <int N, class... Args>
void Mark(void* data, TVurazaExceptionRecord&, Args&...)
{
    slotsSeen.push_back(std::string(static_cast<const char*>(data)) + std::to_string(N));
}

TEST(RoadEvents, EveryEventReachesItsOwnSlot)
{
    TDuruvaDodHandlers owner;
    owner.Data = const_cast<char*>("o");
    owner.ExceptionNotify = Mark<1, bool>;
    owner.HandledExceptionNotify = Mark<2, bool>;
    owner.ExceptionActionNotify = [](void* d, TVurazaExceptionRecord& r, uint8_t, bool& f) { Mark<3, bool>(d, r, f); };
    owner.ExceptionErrorNotify = [](void* d, TVurazaExceptionRecord& r, uint8_t, bool& f) { Mark<4, bool>(d, r, f); };
    owner.PasswordRequest = Mark<5, std::string>;
    owner.CustomDataRequest = Mark<6, TStringList>;
    owner.AttachedFilesRequest = Mark<7, TStringList>;
    owner.CustomWebFieldsRequest = Mark<8, TStringList>;
    owner.CustomButtonClick = Mark<9, bool>;
    ASSERT_TRUE(RegisterDuruvaDodHandlers(&owner));
    TDuruvaDodHandlers& procedures = DuruvaDodEventProcedures();
    procedures = owner;
    procedures.Data = const_cast<char*>("p");
    bool flag = true;
    std::string password;
    TStringList list;
    TVurazaExceptionRecord& r = CurrentExceptionRecord;
    const struct {
        void (*run)(TVurazaExceptionRecord&, bool&, std::string&, TStringList&);
        int slot;
    } events[] = {
        {[](TVurazaExceptionRecord& r, bool& f, std::string&, TStringList&) { LocalExceptionNotify(r, false, f); }, 1},
        {[](TVurazaExceptionRecord& r, bool& f, std::string&, TStringList&) { LocalExceptionNotify(r, true, f); }, 2},
        {[](TVurazaExceptionRecord& r, bool& f, std::string&, TStringList&) { LocalExceptionActionNotify(r, 4, f); }, 3},
        {[](TVurazaExceptionRecord& r, bool& f, std::string&, TStringList&) { LocalExceptionErrorNotify(r, 5, f); }, 4},
        {[](TVurazaExceptionRecord& r, bool&, std::string& p, TStringList&) { LocalPasswordRequest(r, p); }, 5},
        {[](TVurazaExceptionRecord& r, bool&, std::string&, TStringList& l) { LocalCustomDataRequest(r, l); }, 6},
        {[](TVurazaExceptionRecord& r, bool&, std::string&, TStringList& l) { LocalAttachedFilesRequest(r, l); }, 7},
        {[](TVurazaExceptionRecord& r, bool&, std::string&, TStringList& l) { LocalCustomWebFieldsRequest(r, l); }, 8},
        {[](TVurazaExceptionRecord& r, bool& f, std::string&, TStringList&) { LocalCustomButtonClick(r, f); }, 9},
    };
    for (const auto& event : events) {
        slotsSeen.clear();
        event.run(r, flag, password, list);
        const std::string n = std::to_string(event.slot);
        EXPECT_EQ(slotsSeen, (std::vector<std::string>{"o" + n, "p" + n}));
    }
    procedures = TDuruvaDodHandlers();
    UnregisterDuruvaDodHandlers(&owner);
}

TEST(ExcludedThreads, IdsComeAndGoAndTheTableHasABound)
{
    TExcludedThreadsList list;
    EXPECT_FALSE(list.Contains(7));
    EXPECT_TRUE(list.Add(7));
    EXPECT_TRUE(list.Add(7));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_TRUE(list.Add(9));
    list.Remove(7);
    EXPECT_FALSE(list.Contains(7));
    EXPECT_TRUE(list.Contains(9));
    for (uint32_t id = 100; list.Count() < TExcludedThreadsList::Capacity; ++id)
        ASSERT_TRUE(list.Add(id));
    EXPECT_FALSE(list.Add(1));
    EXPECT_FALSE(list.Contains(1));
    list.Clear();
    EXPECT_FALSE(list.Contains(9));
}

}  // namespace
