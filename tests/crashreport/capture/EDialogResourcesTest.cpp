// The dialog templates and pictures: present in Vidudo.exe, and shaped as the dialogs expect
// (read from this test program, which links the same resource objects).
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

const char* const kTemplates[] = {"EL_Dialog", "EL_MS_Dialog", "EL_Request", "EL_Server",
                                  "EL_TAB_GENERAL", "EL_TAB_CALLSTACK", "EL_TAB_MODULESLIST",
                                  "EL_TAB_PROCESSESLIST", "EL_TAB_ASSEMBLER", "EL_TAB_CPU"};
struct TBitmapCase {
    const char* name;
    int size;
};
const TBitmapCase kBitmaps[] = {{"EL_Error", 32}, {"EL_Send", 32}, {"EL_DLL", 16},  {"EL_BPL", 16},
                                {"EL_VCL", 16},   {"EL_PAS", 16},  {"EL_PLUS", 13}, {"EL_MINUS", 13}};

struct TTemplateItem {
    DWORD style = 0;
    std::string className;
    std::string text;
};
struct TTemplate {
    DWORD style = 0, exStyle = 0;
    short cx = 0, cy = 0;
    std::string caption, face;
    WORD pointSize = 0;
    std::map<DWORD, TTemplateItem> items;
};

// Reads a string or ordinal field of a template; ordinals of the predefined classes by name.
std::string ReadField(const WORD*& p)
{
    if (*p == 0xFFFF) {
        const WORD atom = p[1];
        p += 2;
        switch (atom) {
        case 0x80: return "Button";
        case 0x81: return "Edit";
        case 0x82: return "Static";
        default: return "#" + std::to_string(atom);
        }
    }
    std::string out;
    for (; *p; ++p)
        out += static_cast<char>(*p < 0x80 ? *p : '?');
    ++p;
    return out;
}

const WORD* AlignDword(const WORD* p)
{
    return reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t(3));
}

TTemplate ParseTemplate(HMODULE module, const char* name)
{
    TTemplate t;
    HRSRC res = FindResourceA(module, name, MAKEINTRESOURCEA(5));
    if (!res)
        return t;
    const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(module, res)));
    EXPECT_EQ(1, p[0]);
    EXPECT_EQ(0xFFFF, p[1]) << name << " is an extended template";
    const DWORD* d = reinterpret_cast<const DWORD*>(p + 2);
    t.exStyle = d[1];
    t.style = d[2];
    p = reinterpret_cast<const WORD*>(d + 3);
    const WORD count = *p++;
    p += 2;  // x, y
    t.cx = static_cast<short>(*p++);
    t.cy = static_cast<short>(*p++);
    ReadField(p);  // menu
    ReadField(p);  // class
    t.caption = ReadField(p);
    if (t.style & DS_SETFONT) {
        t.pointSize = *p++;
        p += 2;  // weight, italic, charset
        t.face = ReadField(p);
    }
    for (WORD i = 0; i < count; ++i) {
        p = AlignDword(p);
        const DWORD* item = reinterpret_cast<const DWORD*>(p);
        TTemplateItem it;
        it.style = item[2];
        p = reinterpret_cast<const WORD*>(item + 3) + 4;  // x, y, cx, cy
        const DWORD id = *reinterpret_cast<const DWORD*>(p);
        p += 2;
        it.className = ReadField(p);
        it.text = ReadField(p);
        const WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
        t.items[id] = it;
    }
    return t;
}

std::string ProgramPath()
{
    std::string path = "Z:" VIDUDO_PROGRAM_FILE;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

}  // namespace

TEST(DialogResources, TheProgramCarriesEveryTemplateAndPicture)
{
    HMODULE program = LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, program) << ProgramPath() << " GetLastError=" << GetLastError();
    for (const char* name : kTemplates)
        EXPECT_NE(nullptr, FindResourceA(program, name, MAKEINTRESOURCEA(5))) << name;
    for (const TBitmapCase& b : kBitmaps)
        EXPECT_NE(nullptr, FindResourceA(program, b.name, MAKEINTRESOURCEA(2))) << b.name;
    FreeLibrary(program);
}

TEST(DialogResources, TemplatesHoldTheirControls)
{
    struct {
        const char* dialog;
        DWORD id;
        const char* className;
        DWORD style;  // bits that must be set
    } cases[] = {
        {"EL_Dialog", 101, "Static", 0},
        {"EL_Dialog", 1000, "SysTabControl32", 0},
        {"EL_Dialog", 2000, "Static", SS_ETCHEDHORZ},
        {"EL_Dialog", 102, "Button", BS_DEFPUSHBUTTON},
        {"EL_Dialog", 103, "Button", BS_FLAT},
        {"EL_Dialog", 104, "Button", BS_FLAT},
        {"EL_Dialog", 105, "Button", BS_FLAT},
        {"EL_Dialog", 3000, "Button", BS_AUTOCHECKBOX},
        {"EL_Dialog", 4000, "Button", BS_AUTOCHECKBOX},
        {"EL_Dialog", 5000, "Button", BS_AUTOCHECKBOX},
        {"EL_MS_Dialog", 102, "Static", 0},
        {"EL_MS_Dialog", 103, "Edit", ES_READONLY | ES_MULTILINE},
        {"EL_MS_Dialog", 104, "Button", BS_AUTOCHECKBOX},
        {"EL_MS_Dialog", 105, "Static", 0},
        {"EL_MS_Dialog", 106, "Static", 0},
        {"EL_MS_Dialog", 107, "Static", 0},
        {"EL_MS_Dialog", 108, "Static", 0},
        {"EL_MS_Dialog", 109, "Edit", ES_MULTILINE},
        {"EL_MS_Dialog", 110, "Static", 0},
        {"EL_MS_Dialog", 111, "Edit", 0},
        {"EL_MS_Dialog", 1000, "Button", BS_DEFPUSHBUTTON},
        {"EL_MS_Dialog", 1001, "Button", 0},
        {"EL_MS_Dialog", 1002, "Button", 0},
        {"EL_Request", 100, "Static", 0},
        {"EL_Request", 101, "Edit", ES_MULTILINE},
        {"EL_Request", 2, "Button", BS_DEFPUSHBUTTON},
        {"EL_Server", 101, "msctls_progress32", 0},
        {"EL_Server", 100, "Static", 0},
        {"EL_TAB_GENERAL", 103, "RichEdit20A", ES_READONLY | ES_MULTILINE | WS_VSCROLL},
        {"EL_TAB_CALLSTACK", 103, "SysListView32", LVS_REPORT | LVS_OWNERDRAWFIXED},
        {"EL_TAB_MODULESLIST", 103, "SysListView32", LVS_REPORT | LVS_OWNERDRAWFIXED},
        {"EL_TAB_PROCESSESLIST", 103, "SysListView32", LVS_REPORT | LVS_OWNERDRAWFIXED},
        {"EL_TAB_ASSEMBLER", 103, "RichEdit20A", ES_READONLY | ES_MULTILINE | WS_VSCROLL},
        {"EL_TAB_CPU", 103, "RichEdit20A", ES_READONLY | ES_MULTILINE | WS_VSCROLL},
    };
    std::map<std::string, TTemplate> templates;
    for (const char* name : kTemplates)
        templates[name] = ParseTemplate(GetModuleHandleA(nullptr), name);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dialog << " " << c.id);
        const TTemplate& t = templates[c.dialog];
        auto it = t.items.find(c.id);
        ASSERT_NE(t.items.end(), it);
        EXPECT_EQ(0, _stricmp(c.className, it->second.className.c_str())) << it->second.className;  // classes ignore case
        EXPECT_EQ(c.style, it->second.style & c.style);
    }
    for (const char* name : kTemplates) {
        SCOPED_TRACE(name);
        const TTemplate& t = templates[name];
        EXPECT_EQ(8, t.pointSize);
        EXPECT_EQ("MS SANS SERIF", t.face);
        if (std::string(name).rfind("EL_TAB_", 0) == 0) {
            EXPECT_TRUE(t.style & WS_CHILD);
            EXPECT_EQ(2u, t.items.size());
            EXPECT_EQ("Informations", t.items.at(102).text);
        } else {
            EXPECT_EQ("ERROR", t.caption);
            EXPECT_TRUE(t.style & WS_POPUP);
        }
    }
    const DWORD detailedEx = WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    EXPECT_EQ(detailedEx, templates["EL_Dialog"].exStyle & detailedEx);
    EXPECT_EQ(174, templates["EL_Server"].cx);
    EXPECT_EQ(34, templates["EL_Server"].cy);
    EXPECT_EQ("...", templates["EL_Server"].items.at(100).text);
    EXPECT_EQ("Send an email to the program author", templates["EL_Dialog"].items.at(3000).text);
}

TEST(DialogResources, PicturesInTheirSizesTransparentTopLeft)
{
    HDC dc = CreateCompatibleDC(nullptr);
    for (const TBitmapCase& b : kBitmaps) {
        SCOPED_TRACE(b.name);
        HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), b.name, IMAGE_BITMAP, 0, 0, 0));
        ASSERT_NE(nullptr, bitmap) << GetLastError();
        BITMAP info{};
        GetObjectA(bitmap, sizeof info, &info);
        EXPECT_EQ(b.size, info.bmWidth);
        EXPECT_EQ(b.size, info.bmHeight);
        HGDIOBJ old = SelectObject(dc, bitmap);
        EXPECT_EQ(RGB(255, 0, 255), GetPixel(dc, 0, 0));
        EXPECT_NE(RGB(255, 0, 255), GetPixel(dc, b.size / 2, b.size / 2)) << "something is drawn";
        SelectObject(dc, old);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
}
