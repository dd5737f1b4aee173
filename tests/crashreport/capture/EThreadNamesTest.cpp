#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EReportText.h"
#include "crashreport/capture/EThreadHeader.h"
#include "crashreport/capture/EThreadNames.h"

namespace {

TEST(ThreadNames, ANameIsKeptReplacedAndForgotten)
{
    EXPECT_EQ("", ThreadNameOf(501));
    NoteThreadName(501, "行情");
    NoteThreadName(502, "Orders");
    EXPECT_EQ("行情", ThreadNameOf(501));
    EXPECT_EQ("Orders", ThreadNameOf(502));
    NoteThreadName(501, "Quotes");
    EXPECT_EQ("Quotes", ThreadNameOf(501));
    ForgetThreadName(501);
    EXPECT_EQ("", ThreadNameOf(501));
    NoteThreadName(502, "");
    EXPECT_EQ("", ThreadNameOf(502)) << "an empty name forgets";
    NoteThreadName(0, "nobody");
    EXPECT_EQ("", ThreadNameOf(0));
}

TEST(ThreadNames, ALongNameIsCutBetweenCharacters)
{
    const struct {
        std::string name;
        std::string kept;
    } cases[] = {
        {std::string(80, 'a'), std::string(ThreadNameLimit, 'a')},
        {std::string(62, 'a') + "行情", std::string(62, 'a')},  // the pair would end past the limit
        {std::string(61, 'a') + "行情", std::string(61, 'a') + "行"},
        {"short", "short"},
    };
    for (const auto& c : cases) {
        NoteThreadName(601, c.name);
        EXPECT_EQ(c.kept, ThreadNameOf(601)) << c.name;
    }
    ForgetThreadName(601);
}

TEST(ThreadNames, AFullTableGivesWayToTheNewest)
{
    for (uint32_t id = 1000; id < 1000 + 2 * ThreadNameSlots; ++id) NoteThreadName(id, "t" + std::to_string(id));
    const uint32_t newest = 1000 + 2 * ThreadNameSlots - 1;
    EXPECT_EQ("t" + std::to_string(newest), ThreadNameOf(newest));
    EXPECT_EQ("", ThreadNameOf(1000)) << "the oldest gave way";
    size_t kept = 0;
    for (uint32_t id = 1000; id <= newest; ++id) kept += !ThreadNameOf(id).empty();
    EXPECT_EQ(ThreadNameSlots, kept);
    for (uint32_t id = 1000; id <= newest; ++id) ForgetThreadName(id);
}

TEST(ThreadNames, ThreadsNamingAtOnceKeepTheirOwn)
{
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int round = 0; round < 500; ++round) {
                const uint32_t id = 2000 + t;
                NoteThreadName(id, "worker " + std::to_string(t) + " " + std::to_string(round));
                EXPECT_EQ(0u, ThreadNameOf(id).rfind("worker " + std::to_string(t) + " ", 0));
            }
        });
    for (std::thread& t : threads) t.join();
    for (uint32_t t = 0; t < 8; ++t) ForgetThreadName(2000 + t);
}

TEST(ThreadHeader, ThreadRowsTellMarksClassAndName)
{
    TVurazaModuleOptions options("Vidudo.exe");
    struct TCase {
        uint8_t group;
        bool exception, marker, main;
        const char* priority;
        const char* cls;
        const char* name;
        const char* text;
    } cases[] = {
        {1, true, true, false, "0", "TClientHandleThread", "下单", "*Exception Thread: ID=7; Priority=0; Class=TClientHandleThread (下单)"},
        {1, true, false, false, "0", "TClientHandleThread", "", "Exception Thread: ID=7; Priority=0; Class=TClientHandleThread"},
        {1, false, true, true, "2", "", "", "Running Thread: ID=7; Priority=2; Class=; [Main]"},
        {1, false, false, true, "2", "", "行情", "Running Thread: ID=7; Priority=2; [Main] (行情)"},
        {1, false, false, false, "", "TFreeze", "", "Running Thread: ID=7; Priority=??; Class=TFreeze"},
        {0, true, true, false, "1", "TWorker", "w", "Calling Thread: ID=7; Priority=1; Class=TWorker (w)"},
    };
    for (const TCase& c : cases) {
        TThreadHeaderFacts f;
        f.Group = c.group;
        f.IsExceptionThread = c.exception;
        f.ThreadId = 7;
        f.Priority = c.priority;
        f.ThreadClassName = c.cls;
        f.IsMainThread = c.main;
        f.ThreadName = c.name;
        EXPECT_EQ(c.text, ThreadHeaderText(f, c.marker, options));
    }
}

// The call-stack table's thread row carries the class and the name, cleaned as every cell.
TEST(ThreadHeader, TheReportsThreadRowCarriesClassAndName)
{
    TReportStackItem item;
    item.Kind = 4;
    item.ThreadId = 3333;
    item.First = 1;
    item.Address = 0x00401000;
    item.ModuleFileName = "Vidudo.exe";
    item.UnitName = "Client";
    item.ProcedureName = "TClientHandleThread::ExecuteOrderRequest";  // wide enough for the row
    item.Line = 9;
    item.Thread.IsExceptionThread = true;
    item.Thread.ThreadId = 3333;
    item.Thread.Priority = "0";
    item.Thread.ThreadClassName = "TClientHandleThread";
    item.Thread.ThreadName = "委托|\r\n";
    TReportFacts facts;
    facts.HasStackList = true;
    facts.StackList = {item};
    TVurazaModuleOptions options("Vidudo.exe");
    options.SetLogFlags(0);
    const std::string text = BuildReportText(facts, options).LastReportText;
    EXPECT_NE(std::string::npos,
              text.find("|*Exception Thread: ID=3333; Priority=0; Class=TClientHandleThread (委托???)"))
        << text;
}

}  // namespace
