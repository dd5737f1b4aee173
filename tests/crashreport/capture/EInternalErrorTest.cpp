#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EInternalError.h"
#include "crashreport/capture/EStack.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/CodePage.h"
#include "framework/Dialogs.h"
#include "framework/Exception.h"

namespace {

class EAbort : public Exception {
public:
    using Exception::Exception;
};

std::string ReadWhole(const std::string& path)
{
    std::string bytes;
    ReadWholeFile(path, bytes, AnyFileSize, FILE_SHARE_READ);
    return bytes;
}

struct TBoxes {
    std::vector<TMessageBoxRequest> shown;
    TModalAnswer answer = TModalAnswer::Yes;
    MessageBoxHook previous;
    TBoxes()
    {
        previous = SetMessageBoxHook([this](const TMessageBoxRequest& r) {
            shown.push_back(r);
            return answer;
        });
    }
    ~TBoxes() { SetMessageBoxHook(previous); }
};

// Every return address of this program resolves to one line of "Unit.cpp".
TVurazaModuleInfo program;
void ResolveAsUnitLine(uintptr_t address, uint32_t threadId, TVurazaStackItem& item, bool first, uint8_t group)
{
    item.Address = address;
    item.ThreadId = threadId;
    item.First = first;
    item.Group = group;
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(address), &module);
    if (module != GetModuleHandleW(nullptr))
        return;
    item.Kind = 4;
    item.Module = &program;
    item.UnitName.Assign("Unit.cpp");
    item.ProcedureName.Assign("Frame");
    item.Line = 7;
    item.LineDistance = 1;
}

template <class E>
void FailStep(const std::string& section, const E& error)
{
    try {
        throw error;
    } catch (...) {
        ReportInternalError(section);
    }
}

TEST(InternalError, WrittenAndOfferedOnlyInTheDevelopmentEnvironment)
{
    TBoxes boxes;
    const std::string log = ChangeFileExt(ApplicationFileName(), ".log");
    DeleteFileW(GbkToWide(log).c_str());

    FailStep("EHook.Init", Exception("boom"));
    EXPECT_TRUE(boxes.shown.empty()) << "neither the environment nor a debugger";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(GbkToWide(log).c_str()));

    program.Handle = reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));
    program.FileName = "C:\\app\\crashreport_internal_error_test.exe";
    SetStackItemResolver(&ResolveAsUnitLine);
    DetectRunningInIde("C:\\Zorbel\\Bin\\ZORBEL32.EXE");
    FailStep("EHook.Init", EAbort("quiet"));
    EXPECT_TRUE(boxes.shown.empty()) << "EAbort is never reported";

    FailStep("EHook.Init", Exception("boom"));
    EXPECT_FALSE(InternalErrorRunning());
    ASSERT_EQ(log, LastInternalErrorFile());
    const std::string text = ReadWhole(log);
    for (const char* line : {"Version   : 6.1.01 RC 1\r\n", "RAD       : Zorbel 7.0\r\n", "Section   : EHook.Init\r\n",
                             "Exception : Exception\r\n", "Message   : boom\r\n", "OS        : Microsoft Windows ",
                             "Date      : ", "Call Stack: "}) {
        SCOPED_TRACE(line);
        EXPECT_NE(std::string::npos, text.find(line)) << text;
    }
    // The calling thread's frames, this program's among them, each line after the first indented.
    const size_t stack = text.find("Call Stack: 00 $");
    ASSERT_NE(std::string::npos, stack) << text;
    EXPECT_NE(std::string::npos, text.find("] crashreport_internal_error_test.exe - Unit.cpp -  - Frame - 7[1]\r\n", stack))
        << text;
    EXPECT_NE(std::string::npos, text.find("\r\n            01 $", stack)) << text;
    ASSERT_EQ(2u, boxes.shown.size()) << "asked, then told to send it by hand: no mail program here";
    EXPECT_EQ("Probably internal bug", boxes.shown[0].caption);
    EXPECT_EQ("Error: 'boom'\r\n\r\nThis is an internal DuruvaDod bug.\r\nDo you want to send the bug information to "
              "DuruvaDod author?",
              boxes.shown[0].text);
    EXPECT_EQ(TMsgDlgButtons::YesNo, boxes.shown[0].buttons);
    EXPECT_EQ(TMsgDlgType::Error, boxes.shown[0].type);
    EXPECT_EQ("Information", boxes.shown[1].caption);
    EXPECT_EQ(0u, boxes.shown[1].text.find("Cannot connect with your email client.\r\nSend manually the \"" + log + "\" file to the "));

    boxes.shown.clear();
    boxes.answer = TModalAnswer::No;
    SetInternalErrorMailProc([](const std::string&, const std::string&, const std::string&) { return true; });
    ReportInternalError("ECore.Done", "no exception here");
    ASSERT_EQ(1u, boxes.shown.size());
    EXPECT_EQ(0u, boxes.shown[0].text.find("Error: 'no exception here'"));
    SetInternalErrorMailProc(nullptr);

    SetStackItemResolver(nullptr);
    DetectRunningInIde(ApplicationFileName());
    DeleteFileW(GbkToWide(log).c_str());
}

}  // namespace
