#pragma once
// The rows of the call-stack page: the frames the call-stack options list, grouped under one
// header row per thread (or leak), with separators between the blocks. No Win32 here.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class TStackModuleKind { None, Program, Package, Library, Other };

// What the page needs of one call-stack item.
struct TDialogStackItem {
    uint32_t threadId = 0;
    int group = 0;        // 0 a creator stack, 1 a thread's own
    bool first = false;   // the first item of a stack
    bool listed = true;   // its kind is enabled by the call-stack options
    bool ownModuleKind3 = false;  // a frame of kind 3 in the program's own module
    bool kind4 = false;
    uint32_t address = 0;
    TStackModuleKind moduleKind = TStackModuleKind::None;
    std::string modulePath, unit, className, procedure;
    int line = 0, lineOffset = 0;
    std::string header;   // ThreadHeaderText of the item's thread
};

struct TStackPageRow {
    enum Kind { Header, Frame, Separator } kind = Frame;
    std::vector<std::string> columns;  // address, module, unit, class, procedure, line
    std::string caption;
    int colourFlag = 0;
    int image = -1;       // TTreeListImage
};

std::vector<TStackPageRow> BuildStackPageRows(const std::vector<TDialogStackItem>& items);

class TVurazaStackList;
struct TVurazaStackItem;
// The page's view of a captured call stack. kindsMask: the item kinds (bit 1 << Kind) the
// call-stack options list; ownModule: the handle of the program's own module; header: the
// text of an item's thread row (ThreadHeaderText).
std::vector<TDialogStackItem> DialogStackItems(const TVurazaStackList& list, uint32_t kindsMask, uintptr_t ownModule,
                                               const std::function<std::string(const TVurazaStackItem&)>& header);
