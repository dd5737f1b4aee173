#include "crashreport/capture/ERoadRules.h"

#include <cstdio>

#include "crashreport/capture/EHash.h"
#include "crashreport/capture/EStack.h"
#include "framework/SysUtils.h"

std::string BugModuleText(std::string_view fileName, std::string_view version)
{
    std::string text(fileName);
    if (!version.empty()) {
        text += " - (";
        text += version;
        text += ")";
    }
    return text;
}

std::string BugIdSourceText(std::string_view mainModuleText, std::string_view exceptModuleText,
                            std::string_view typeText, const TVurazaStackList& stack)
{
    std::string text;
    text += mainModuleText;
    text += exceptModuleText;
    text += typeText;
    if (stack.Count() == 0)
        return text;
    const TVurazaModuleInfo* module = stack.GetItem(0)->Module;
    for (size_t i = 0; i < stack.Count(); ++i) {
        const TVurazaStackItem& item = *stack.GetItem(i);
        if (item.Kind != 4 || item.Module != module)
            continue;
        text += item.UnitName.text;
        text += item.ClassName.text;
        text += item.ProcedureName.text;
        text += std::to_string(item.LineDistance);
    }
    return text;
}

std::string BugIdOfText(std::string_view text)
{
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(Crc16OfText(text)));
    return digits;
}

uint8_t ChooseOutputKind(uint8_t requested, bool webServer, bool console)
{
    switch (requested) {
    case 0:
        return webServer ? 2 : console ? 1 : 0;
    case 1:
        return console ? 1 : 0;
    case 2:
        return 2;
    default:
        return 0;
    }
}

uint8_t FilterDialogState(uint8_t choice, uint8_t dialogKind)
{
    switch (choice) {
    case 1:
        return dialogKind;
    case 2:
        return 1;
    case 3:
        return 2;
    case 4:
        return 3;
    default:
        return 0;
    }
}

bool ShouldSendReport(uint8_t mailMethod, uint8_t uploadMethod, bool duplicate, bool sendChecked, uint8_t dialogKind)
{
    if (mailMethod == 0 && uploadMethod == 0)
        return false;
    if (duplicate)
        return false;
    return sendChecked || dialogKind == 0;
}

bool PumpingAllowed(bool stackOverflow, uint16_t behaviourFlags)
{
    return !stackOverflow && !((behaviourFlags & 0x1) && !(behaviourFlags & 0x2));
}

bool ThreadStackShown(bool isMain, bool hasObject, uint8_t stackFlags)
{
    return (isMain || hasObject) ? (stackFlags & 0x4) != 0 : (stackFlags & 0x8) != 0;
}

bool ThreadKeptStill(bool isMain, bool hasObject, uint16_t behaviourFlags)
{
    if (!isMain && !hasObject)
        return (behaviourFlags & 0x4) != 0;
    if (isMain && (behaviourFlags & 0x2))
        return false;
    return (behaviourFlags & 0x1) != 0;
}

TPumpVerdict ClassifyPumpedMessage(uint32_t message)
{
    if (message == 0x0012)  // WM_QUIT
        return TPumpVerdict::Drop;
    const bool nonClientMouse = message >= 0xA1 && message <= 0xA9;
    const bool keys = (message >= 0x100 && message <= 0x102) || (message >= 0x104 && message <= 0x106);
    const bool mouseButtons = message >= 0x201 && message <= 0x209;
    return nonClientMouse || keys || mouseButtons ? TPumpVerdict::BeepAndDrop : TPumpVerdict::Dispatch;
}

std::string CapGbkText(std::string_view text, size_t limit)
{
    size_t i = 0, count = 0;
    while (i < text.size() && count < limit) {
        i += GbkCharLength(text, i);
        ++count;
    }
    return std::string(text.substr(0, i));
}

bool TExceptionIdentity::Same(const TExceptionIdentity& other) const
{
    if (object && object == other.object)
        return true;
    return code != 0 && code == other.code && address == other.address && threadId == other.threadId;
}
