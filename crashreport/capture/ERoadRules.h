#pragma once
// The handling road's rules that need no system: the bug identifier, the output kind, the
// dialog a filter asks for, which threads are shown or kept still, which messages the waiting
// main thread may pump, and the environment values' limit. Built and tested on the host too.

#include <cstdint>
#include <string>
#include <string_view>

class TVurazaStackList;

// A module's part of the bug identifier: its file name, then " - (" version ")" when known.
std::string BugModuleText(std::string_view fileName, std::string_view version);
// The text the bug identifier is the checksum of: both module texts, the exception type text,
// then unit, class, procedure and line distance of every item with a line in the first
// item's module, in list order.
std::string BugIdSourceText(std::string_view mainModuleText, std::string_view exceptModuleText,
                            std::string_view typeText, const TVurazaStackList& stack);
// Four upper-case hexadecimal digits of the text's CRC-16.
std::string BugIdOfText(std::string_view text);

// 0 dialog, 1 console text, 2 web page.
uint8_t ChooseOutputKind(uint8_t requested, bool webServer, bool console);
// A filter's dialog choice as a dialog state: 0 none, 1 the options' kind, 2 box, 3 Windows-style,
// 4 detailed.
uint8_t FilterDialogState(uint8_t choice, uint8_t dialogKind);
bool ShouldSendReport(uint8_t mailMethod, uint8_t uploadMethod, bool duplicate, bool sendChecked, uint8_t dialogKind);

// Whether the faulting main thread may pump its messages while it waits.
bool PumpingAllowed(bool stackOverflow, uint16_t behaviourFlags);
// The call stack of another thread is shown (StackFlags 0x8 for threads without an object
// other than the main thread, 0x4 for the main thread and threads with an object).
bool ThreadStackShown(bool isMain, bool hasObject, uint8_t stackFlags);
// The thread is kept suspended during the report (BehaviourFlags 0x4, 0x1 and 0x2).
bool ThreadKeptStill(bool isMain, bool hasObject, uint16_t behaviourFlags);

// What the pumping of the waiting main thread does with a message: quit messages are dropped,
// input (non-client mouse, keys, mouse buttons) is answered with a beep and dropped.
enum class TPumpVerdict { Dispatch, Drop, BeepAndDrop };
TPumpVerdict ClassifyPumpedMessage(uint32_t message);
constexpr int PumpMessagesPerPass = 11;

// The longest environment value the system keeps, in characters.
constexpr size_t EnvironmentValueLimit = 32767;
// At most limit GBK characters of text, never half of a double-byte one.
std::string CapGbkText(std::string_view text, size_t limit);

// The same exception seen twice: the same object, or the same system code, address and thread.
struct TExceptionIdentity {
    const void* object = nullptr;
    uint32_t code = 0;
    uintptr_t address = 0;
    uint32_t threadId = 0;
    bool Same(const TExceptionIdentity& other) const;
};
