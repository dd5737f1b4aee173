#include "crashreport/capture/EDetailPages.h"

#include <commctrl.h>
#include <richedit.h>
#include <tlhelp32.h>

#include <cstdio>
#include <memory>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EDialogHooks.h"
#include "crashreport/capture/EDialogSettings.h"
#include "crashreport/capture/EGoToSource.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EProcesses.h"
#include "crashreport/capture/ERichText.h"
#include "crashreport/capture/EStackRows.h"
#include "crashreport/capture/ETreeList.h"
#include "framework/CodePage.h"
#include "framework/DialogMark.h"
#include "framework/ExceptionBoundary.h"
#include "framework/ScopedWin.h"
#include "framework/SysUtils.h"

namespace {

const wchar_t* const kPageTemplates[DetailPageCount] = {L"EL_TAB_GENERAL",       L"EL_TAB_CALLSTACK",
                                                        L"EL_TAB_MODULESLIST",   L"EL_TAB_PROCESSESLIST",
                                                        L"EL_TAB_ASSEMBLER",     L"EL_TAB_CPU"};
const int kHeaderTexts[DetailPageCount] = {6, 8, 10, 12, 14, 16};
constexpr int idHeader = 102, idContent = 103;

struct TColumn {
    int text;
    bool right;
};
const TColumn kStackColumns[] = {{92, false}, {93, false}, {94, false}, {95, false}, {96, false}, {97, true}};
const TColumn kModuleColumns[] = {{126, false}, {127, false}, {128, false}, {129, true},
                                  {130, true},  {131, false}, {132, false}};
const TColumn kProcessColumns[] = {{133, false}, {134, false}, {135, false}, {136, true},
                                   {137, true},  {138, true},  {139, true},  {140, false}};

struct TPageState {
    int page = -1;
    const TDialogFonts* fonts = nullptr;
    HBRUSH background = nullptr;
    std::unique_ptr<TListViewItems> items;
};
TPageState current;

TIniRead IniReader()
{
    return [](const std::string& s, const std::string& k, const std::string& d) {
        return ReadIniText(DialogIniFileName, s, k, d);
    };
}
TIniWrite IniWriter()
{
    return [](const std::string& s, const std::string& k, const std::string& v) {
        WriteIniText(DialogIniFileName, s, k, v);
    };
}

bool IsListPage(int page) { return page == dpCallStack || page == dpModules || page == dpProcesses; }

TColumnPage ColumnPageOf(int page)
{
    return page == dpCallStack ? TColumnPage::CallStack : page == dpModules ? TColumnPage::Modules : TColumnPage::Processes;
}

DWORD CALLBACK ReadRtf(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* got)
{
    auto* source = reinterpret_cast<std::pair<const std::string*, size_t>*>(cookie);
    const size_t left = source->first->size() - source->second;
    const size_t n = std::min(left, static_cast<size_t>(wanted));
    memcpy(buffer, source->first->data() + source->second, n);
    source->second += n;
    *got = static_cast<LONG>(n);
    return 0;
}

void FillRichPage(HWND edit, int page)
{
    const auto& hooks = ExceptionDialogHooks();
    std::string text;
    TRichPage kind = TRichPage::General;
    if (page == dpGeneral && hooks.generalText)
        text = hooks.generalText();
    if (page == dpAssembler) {
        kind = TRichPage::Assembler;
        if (hooks.assemblerText)
            text = hooks.assemblerText();
    }
    if (page == dpCpu) {
        kind = TRichPage::Cpu;
        if (hooks.cpuText)
            text = hooks.cpuText();
    }
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(current.fonts->monospace), FALSE);
    SendMessageW(edit, EM_SETBKGNDCOLOR, 0, RGB(255, 255, 255));
    const TDialogFontFaces faces = DialogFontFacesForCodePage(GetACP());
    const int tabTwips = 15 * TextWidth(edit, current.fonts->monospace, std::string(21, '-'));
    const std::string rtf = BuildPageRtf(kind, text, faces.monospaceFace, current.fonts->pointSize, tabTwips);
    std::pair<const std::string*, size_t> source{&rtf, 0};
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = ReadRtf;
    SendMessageW(edit, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
}

template <size_t N>
void AddColumns(HWND list, const TColumn (&columns)[N], const std::vector<int>& widths)
{
    for (size_t i = 0; i < N; ++i) {
        const std::wstring text = GbkToWide(DialogText(columns[i].text));
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        c.fmt = columns[i].right ? LVCFMT_RIGHT : LVCFMT_LEFT;
        c.cx = i < widths.size() ? widths[i] : 80;
        c.pszText = const_cast<wchar_t*>(text.c_str());
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&c));
    }
}

int ModuleImage(const std::string& path)
{
    const std::string ext = UpperCase(ExtractFileExt(path));
    if (ext == ".BPL" || ext == ".DPL")
        return tiBpl;
    if (ext == ".EXE")
        return tiVcl;
    return tiDll;
}

std::string Hex8(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

// Inside a dialog Enter presses the default button before the list sees it: a list with the
// focus asks for Enter itself, so it opens the row's source or folds its group.
LRESULT CALLBACK ListKeysProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR)
{
    return GuardedCall<LRESULT>(0, [&]() -> LRESULT {
        LRESULT result = DefSubclassProc(list, message, wParam, lParam);
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        if (message == WM_GETDLGCODE && msg && (msg->message == WM_KEYDOWN || msg->message == WM_CHAR) &&
            msg->wParam == VK_RETURN)
            result |= DLGC_WANTALLKEYS;
        if (message == WM_NCDESTROY)
            RemoveWindowSubclass(list, ListKeysProc, id);
        return result;
    });
}

void FillListPage(HWND list, int page)
{
    SetWindowSubclass(list, ListKeysProc, 1, 0);
    SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(current.fonts->list), FALSE);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    SendMessageW(list, LVM_SETBKCOLOR, 0, RGB(255, 255, 255));
    SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, RGB(255, 255, 255));
    SendMessageW(list, LVM_SETTEXTCOLOR, 0, RGB(0, 0, 0));
    const std::vector<int> widths = ReadColumnWidths(IniReader(), ColumnPageOf(page));
    const auto& hooks = ExceptionDialogHooks();
    if (page == dpCallStack)
        AddColumns(list, kStackColumns, widths);
    else if (page == dpModules)
        AddColumns(list, kModuleColumns, widths);
    else
        AddColumns(list, kProcessColumns, widths);
    current.items = std::make_unique<TListViewItems>(list);
    TListViewItems& items = *current.items;
    if (page == dpCallStack && hooks.stack) {
        for (const TStackPageRow& row : BuildStackPageRows(hooks.stack()))
            items.AddRow(row.columns, row.caption, row.kind == TStackPageRow::Header, row.colourFlag, row.image);
    } else if (page == dpModules && hooks.modules) {
        for (const TDialogModuleRow& m : hooks.modules())
            items.AddRow({Hex8(m.handle), ExtractFileName(m.path), m.description, m.version, m.size, m.modified,
                          ExtractFilePath(m.path)},
                         "", false, 0, ModuleImage(m.path));
    } else if (page == dpProcesses && hooks.processes) {
        for (const TDialogProcessRow& p : hooks.processes())
            items.AddRow({std::to_string(p.id), ExtractFileName(p.path), p.description, p.version, p.memory,
                          p.priority, p.threads, ExtractFilePath(p.path)},
                         "", false, 0, tiVcl);
    }
}

void SaveColumnWidths(HWND list, int page)
{
    std::vector<int> widths;
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int count = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < count; ++i)
        widths.push_back(static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0)));
    WriteColumnWidths(IniWriter(), ColumnPageOf(page), widths);
}

void ActivateRow(HWND list, int row)
{
    if (!current.items || row < 0)
        return;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) || !item.lParam)
        return;
    const auto* rec = reinterpret_cast<const TListViewItemRec*>(item.lParam);
    if (current.page == dpCallStack && rec->columns.size() >= 6 && !Trim(rec->columns[5]).empty())
        GoToSourceRequest(rec->columns);
    else if (rec->group)
        current.items->ToggleGroup(row, POINT{0, 0}, false);
}

INT_PTR OnPageNotify(HWND page, const NMHDR& n)
{
    ResetAutoClose();
    if (n.idFrom != idContent || !current.items)
        return FALSE;
    HWND list = GetDlgItem(page, idContent);
    switch (n.code) {
    case NM_CLICK: {
        const auto& a = reinterpret_cast<const NMITEMACTIVATE&>(n);
        if (a.iItem >= 0)
            current.items->ToggleGroup(a.iItem, a.ptAction, true);
        return TRUE;
    }
    case NM_DBLCLK: ActivateRow(list, reinterpret_cast<const NMITEMACTIVATE&>(n).iItem); return TRUE;
    case LVN_KEYDOWN:
        if (reinterpret_cast<const NMLVKEYDOWN&>(n).wVKey == VK_RETURN)
            ActivateRow(list, static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED)));
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK DetailPageProc(HWND h, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GuardedCall<INT_PTR>(FALSE, [&]() -> INT_PTR {
        if (IsUserInput(message))
            ResetAutoClose();
        switch (message) {
        case WM_INITDIALOG: {
            MarkProgramDialog(h);
            const int page = current.page;
            SetDialogItemText(h, idHeader, DialogText(kHeaderTexts[page]));
            SendDlgItemMessageW(h, idHeader, WM_SETFONT, reinterpret_cast<WPARAM>(current.fonts->message), FALSE);
            if (IsListPage(page))
                FillListPage(GetDlgItem(h, idContent), page);
            else
                FillRichPage(GetDlgItem(h, idContent), page);
            return FALSE;
        }
        case WM_DRAWITEM:
            if (current.items && wParam == idContent) {
                current.items->DrawRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            }
            return FALSE;
        case WM_NOTIFY: return OnPageNotify(h, *reinterpret_cast<const NMHDR*>(lParam));
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            if (OwnLook())
                return reinterpret_cast<INT_PTR>(OwnLookColor(message, reinterpret_cast<HDC>(wParam), current.background));
            return FALSE;
        case WM_DESTROY:
            if (IsListPage(current.page))
                SaveColumnWidths(GetDlgItem(h, idContent), current.page);
            current.items.reset();
            return FALSE;
        }
        return FALSE;
    });
}

// The development environment that started this program, allowed to take the foreground; 0
// when the program was not started by one.
DWORD GoToSourceTarget()
{
    ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == GetCurrentProcessId())
            parent = entry.th32ParentProcessID;
    // The environment is known by its window, whatever its program file is called.
    if (!IsIdeProcess(parent))
        return 0;
    using AllowFn = BOOL(WINAPI*)(DWORD);
    if (auto allow = reinterpret_cast<AllowFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "AllowSetForegroundWindow"))))
        allow(parent);
    return parent;
}

}  // namespace

HWND CreateDetailPage(int page, HWND tab, const TDialogFonts& fonts, HBRUSH background)
{
    if (page < 0 || page >= DetailPageCount)
        return nullptr;
    current.page = page;
    current.fonts = &fonts;
    current.background = background;
    return CreateDialogParamW(ReporterModule(), kPageTemplates[page], tab, DetailPageProc, page);
}

bool GoToSourceRequest(const std::vector<std::string>& columns)
{
    if (columns.size() < 6)
        return false;
    const auto request = ParseGoToSourceRow(columns[0], columns[2], columns[3], columns[4], columns[5]);
    if (!request)
        return false;
    uint32_t first = 0, second = 0;
    if (ExceptionDialogHooks().moduleValues && !ExceptionDialogHooks().moduleValues(request->address, first, second))
        first = second = 0;
    const TGoToSourceRecord record = EncodeGoToSourceRecord(*request, first, second);
    const std::wstring name = GbkToWide(GoToSourceMailslotName(GoToSourceTarget()));
    ScopedHandle slot(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!slot)
        return false;
    DWORD written = 0;
    return WriteFile(slot, record.data(), static_cast<DWORD>(record.size()), &written, nullptr) &&
           written == record.size();
}
