#include "crashreport/capture/ETreeListModel.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The control as a list of the records it shows.
class TFakeTreeControl : public TTreeListControl {
public:
    void InsertRow(int position, const TListViewItemRec& record) override
    {
        rows.insert(position < 0 ? rows.end() : rows.begin() + position, &record);
    }
    void DeleteRow(int position) override { rows.erase(rows.begin() + position); }
    const TListViewItemRec* RowRecord(int position) const override
    {
        return position >= 0 && position < static_cast<int>(rows.size()) ? rows[static_cast<size_t>(position)] : nullptr;
    }
    void SetRedraw(bool on) override { redrawOff += on ? 0 : 1; }
    void RedrawRow(int) override {}

    static std::string Name(const TListViewItemRec& r)
    {
        if (r.group)
            return r.caption;
        if (r.empty)
            return "_";
        return r.columns[0].substr(r.columns[0].find_first_not_of(' '));
    }
    std::string Shown() const
    {
        std::string out;
        for (const TListViewItemRec* r : rows)
            out += (out.empty() ? "" : " ") + Name(*r);
        return out;
    }
    int Position(const std::string& name) const
    {
        for (size_t i = 0; i < rows.size(); ++i)
            if (Name(*rows[i]) == name)
                return static_cast<int>(i);
        return -1;
    }

    std::vector<const TListViewItemRec*> rows;
    int redrawOff = 0;
};

struct TTreeFixture : testing::Test {
    TFakeTreeControl control;
    TTreeListModel model{control};

    // [G1: a b c][empty][G2: d, G3 closed: e f]
    void SetUp() override
    {
        model.SetIndent("   ", 15);
        auto group = [&](const char* name) { model.AddRow({""}, name, true, 1, -1); };
        auto row = [&](const char* name) { model.AddRow({name, "x"}, "", false, 0, 2); };
        group("G1");
        row("a");
        row("b");
        row("c");
        model.AddRow({"", " "}, "", false, 0, -1);
        group("G2");
        row("d");
        group("G3");
        row("e");
        row("f");
        ASSERT_TRUE(model.ToggleGroup(control.Position("G3"), 0, 0, false));
    }
};

}  // namespace

TEST_F(TTreeFixture, RowsAreLevelledAndIndented)
{
    EXPECT_EQ("G1 a b c _ G2 d G3", control.Shown());
    EXPECT_EQ(0, model[1].level);  // a: one group deep
    EXPECT_TRUE(model[4].empty);
    EXPECT_EQ(0, model[6].level);  // d
    EXPECT_EQ(1, model[8].level);  // e: inside G3 inside G2
    EXPECT_EQ("   e", model[8].columns[0]);
    EXPECT_EQ(nullptr, model[5].previous) << "a separator starts a new block";
    EXPECT_EQ(&model[3], model[4].previous);
}

TEST_F(TTreeFixture, ClosingAndOpeningGroups)
{
    ASSERT_TRUE(model.ToggleGroup(control.Position("G1"), 0, 0, false));
    EXPECT_EQ("G1 _ G2 d G3", control.Shown());
    ASSERT_TRUE(model.ToggleGroup(control.Position("G1"), 0, 0, false));
    EXPECT_EQ("G1 a b c _ G2 d G3", control.Shown());

    ASSERT_TRUE(model.ToggleGroup(control.Position("G2"), 0, 0, false));
    EXPECT_EQ("G1 a b c _ G2", control.Shown());
    ASSERT_TRUE(model.ToggleGroup(control.Position("G2"), 0, 0, false));
    EXPECT_EQ("G1 a b c _ G2 d G3", control.Shown()) << "a closed group keeps its members hidden";

    ASSERT_TRUE(model.ToggleGroup(control.Position("G3"), 0, 0, false));
    EXPECT_EQ("G1 a b c _ G2 d G3 e f", control.Shown());
    EXPECT_FALSE(model.ToggleGroup(control.Position("a"), 0, 0, false)) << "only group rows fold";
    EXPECT_FALSE(model.ToggleGroup(99, 0, 0, false));
}

TEST_F(TTreeFixture, SignHitBox)
{
    // G1 starts its block (no previous row): the sign spans x 2..12; G3 follows d: one step in.
    struct {
        const char* group;
        int x, y;
        bool hit;
    } cases[] = {
        {"G1", 2, 2, true},   {"G1", 12, 12, true}, {"G1", 1, 5, false}, {"G1", 13, 5, false},
        {"G1", 5, 13, false}, {"G1", 5, 1, false},  {"G3", 5, 5, false}, {"G3", 17, 5, true},
        {"G3", 27, 12, true}, {"G3", 28, 12, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.group << " " << c.x << "," << c.y);
        const std::string before = control.Shown();
        EXPECT_EQ(c.hit, model.ToggleGroup(control.Position(c.group), c.x, c.y, true));
        if (c.hit)
            model.ToggleGroup(control.Position(c.group), 0, 0, false);  // back
        EXPECT_EQ(before, control.Shown());
    }
}

TEST(TreeListColours, GroupRowColourByFlag)
{
    EXPECT_EQ(0x800000u, GroupRowColor(1));
    EXPECT_EQ(0x000080u, GroupRowColor(3));
    EXPECT_EQ(0x606060u, GroupRowColor(0));
    EXPECT_EQ(0x606060u, GroupRowColor(2));
}

#include "crashreport/capture/EStackRows.h"

TEST(StackPageRows, GroupsSeparatorsAndExcludedThreads)
{
    auto frame = [](uint32_t tid, int group, bool first, int line, TStackModuleKind kind) {
        TDialogStackItem i;
        i.threadId = tid;
        i.group = group;
        i.first = first;
        i.line = line;
        i.lineOffset = 7;
        i.moduleKind = kind;
        i.address = 0x401000 + tid;
        i.modulePath = kind == TStackModuleKind::None ? "" : "C:\\App\\Vidudo.exe";
        i.unit = "Unit" + std::to_string(tid);
        i.header = "Thread " + std::to_string(tid) + (first ? " first" : "");
        return i;
    };
    std::vector<TDialogStackItem> items = {
        frame(10, 1, true, 12, TStackModuleKind::Program),
        frame(10, 1, false, 0, TStackModuleKind::Library),
        frame(10, 0, false, 5, TStackModuleKind::Package),
        frame(20, 1, true, 1, TStackModuleKind::Program),  // excluded below
        frame(30, 1, true, 3, TStackModuleKind::None),
    };
    items[3].listed = false;
    items[4].kind4 = true;
    TDialogStackItem own = frame(30, 1, true, 9, TStackModuleKind::Program);
    own.ownModuleKind3 = true;
    items.push_back(own);

    const std::vector<TStackPageRow> rows = BuildStackPageRows(items);
    struct {
        TStackPageRow::Kind kind;
        const char* text;  // caption or address
        int colourOrImage;
    } expected[] = {
        {TStackPageRow::Header, "Thread 10 first", 3}, {TStackPageRow::Frame, "0040100A", 2},
        {TStackPageRow::Separator, "", -1},            {TStackPageRow::Header, "Thread 10", 1},
        {TStackPageRow::Frame, "0040100A", 0},         {TStackPageRow::Header, "Thread 10", 0},
        {TStackPageRow::Frame, "0040100A", 1},         {TStackPageRow::Separator, "", -1},
        {TStackPageRow::Header, "Thread 30 first", 3}, {TStackPageRow::Frame, "0040101E", 3},
    };
    ASSERT_EQ(std::size(expected), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].kind, rows[i].kind);
        if (rows[i].kind == TStackPageRow::Header) {
            EXPECT_EQ(expected[i].text, rows[i].caption);
            EXPECT_EQ(expected[i].colourOrImage, rows[i].colourFlag);
        } else if (rows[i].kind == TStackPageRow::Frame) {
            EXPECT_EQ(expected[i].text, rows[i].columns[0]);
            EXPECT_EQ(expected[i].colourOrImage, rows[i].image);
        }
    }
    EXPECT_EQ("Vidudo.exe", rows[1].columns[1]);
    EXPECT_EQ("12 [7]", rows[1].columns[5]);
    EXPECT_EQ("", rows[4].columns[5]) << "line 0 shows no line";
    EXPECT_EQ("", rows[9].columns[1]) << "no module";
}

#include "crashreport/capture/EModuleInfo.h"
#include "crashreport/capture/EStack.h"

TEST(StackPageRows, FromACapturedStackList)
{
    TVurazaModuleInfo program, library;
    program.Handle = 0x400000;
    program.FileName = "C:\\App\\Vidudo.exe";
    program.Kind = mkProgram;
    library.Handle = 0x7C800000;
    library.FileName = "C:\\Windows\\kernel32.dll";
    library.Kind = mkLibrary;
    struct {
        uint8_t kind;
        TVurazaModuleInfo* module;
        int line;
    } rows[] = {{4, &program, 42}, {3, &program, 0}, {1, &library, 0}, {0, nullptr, 0}};
    TVurazaStackList list;
    for (const auto& r : rows) {
        auto item = std::make_unique<TVurazaStackItem>();
        item->Kind = r.kind;
        item->Module = r.module;
        item->ThreadId = 7;
        item->Group = 1;
        item->Address = 0x401234;
        item->UnitName.Assign("Main");
        item->Line = r.line;
        item->LineDistance = 2;
        list.Add(std::move(item));
    }
    const auto items = DialogStackItems(list, 0x1E, 0x400000, [](const TVurazaStackItem& i) {
        return "Thread " + std::to_string(i.ThreadId);
    });
    ASSERT_EQ(4u, items.size());
    EXPECT_TRUE(items[0].kind4);
    EXPECT_TRUE(items[1].ownModuleKind3) << "kind 3 of the program's own module";
    EXPECT_EQ(TStackModuleKind::Library, items[2].moduleKind);
    EXPECT_FALSE(items[3].listed) << "kind 0 is not in the mask";
    const auto page = BuildStackPageRows(items);
    ASSERT_EQ(3u, page.size());  // header, the line frame, the library frame
    EXPECT_EQ("Thread 7", page[0].caption);
    EXPECT_EQ("42 [2]", page[1].columns[5]);
    EXPECT_EQ(3, page[1].image);
    EXPECT_EQ("kernel32.dll", page[2].columns[1]);
    EXPECT_EQ(0, page[2].image);
}
