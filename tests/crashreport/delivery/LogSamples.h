#pragma once
// Stored reports for the log and XML tests: the general part as the builder writes it, the
// call-stack, modules and processes tables, the assembler listing and the processor section.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "crashreport/capture/ELogItem.h"
#include "crashreport/delivery/ELogFile.h"

class TMemoryLogStore : public TLogFileStore {
public:
    explicit TMemoryLogStore(std::optional<std::string> text = {}) : text_(std::move(text)) {}
    std::optional<std::string> Read() override { return text_; }
    void Write(std::string_view text) override { text_ = std::string(text); }

private:
    std::optional<std::string> text_;
};

inline TLogFile SampleLog(const std::vector<std::string>& reports)
{
    TLogFile log(std::make_unique<TMemoryLogStore>());
    for (const std::string& r : reports) log.AddLogReport(r, -1);
    return log;
}

inline std::string SampleReport(const std::string& version, const std::vector<std::string>& extraRows = {})
{
    TLogItem item(0);
    item.AddHeader("Application");
    item.AddItem("Start Date", "Mon, 1 Jan 2024");
    item.AddHeader("Exception");
    for (int i = 1; i <= 5; ++i) item.AddItem("Item" + std::to_string(i), "v" + std::to_string(i));
    item.AddItem("Message", "first: one\r\n\r\nthird");
    item.AddItem("ID", "1A2B");
    item.AddItem("Count", "1");
    item.AddItem("Where", "x\r\nError at:");
    std::string text = "DuruvaDod " + version + "\r\n\r\n" + item.GetFormattedText() + "\r\n\r\n";

    const std::string rule(60, '-');
    text += "Call Stack Information:\r\n" + rule + "\r\n|Address |Module |Unit |Class |Procedure |Line |\r\n" + rule + "\r\n";
    text += "|*Exception Thread: ID=1234; Priority=0; Class=; [Main]|\r\n";
    text += "|" + std::string(58, '-') + "|\r\n";
    text += "|00401A2C|a.exe|a.cpp|TFoo|@Foo|57[3]|\r\n";
    for (const std::string& row : extraRows) text += row + "\r\n";
    text += "|Calling Thread: ID=1234; Priority=0; Class=|\r\n";
    text += "|00401B00|a.exe|a.cpp||main|9[0]|\r\n";
    text += "|                                                          |\r\n";
    text += "|Running Thread: ID=99; Priority=1; Class=TWorker|\r\n";
    text += "|7C800000|kernel32.dll||||0|\r\n";
    text += rule + "\r\n\r\n";

    text += "Modules Information:\r\n" + rule + "\r\n|Handle  |Name |Description |Version |Size |Modified |Path |\r\n" + rule + "\r\n";
    text += "|00400000|a.exe|A program|1.0.0.0|100 Kb|2024-01-31 23:59:59|C:\\a|\r\n" + rule + "\r\n\r\n";
    text += "Processes Information:\r\n" + rule + "\r\n|ID |Name |Description |Version |Memory |Priority |Threads |Path |\r\n" + rule + "\r\n";
    text += "|0001|a.exe|A program|1.0.0.0|1 Mb|Normal|4|C:\\a|\r\n" + rule + "\r\n\r\n";
    text += "Assembler Information:\r\n" + rule + "\r\n; a.cpp.TFoo.Foo (Line=57 - Offset=3)\r\n";
    text += "00401A29  mov     byte ptr [eax], $05  ; <-- EXCEPTION\r\n00401A2C  nop\r\n\r\n";

    text += "Processor Information:\r\n" + rule + "\r\n";
    text += "EAX: 00000001   EDI: 00000005\r\n";
    text += "EBX: 00000002   ESI: 00000006\r\n";
    text += "ECX: 00000003   ESP: ????    \r\n";
    text += "EDX: 00000004   EIP: 00000008\r\n";
    text += "Flags: ---\r\nSeg: ---\r\nStack:              Memory Dump:\r\n";
    for (int i = 0; i < 16; ++i) {
        char line[128];
        std::snprintf(line, sizeof line, "0012FF%02X: %08X | %08X: C6 00 05 90 90 90 90 90 90 90 90 90 90 90 90 90  ................\r\n",
                      i * 4, i, 0x401000 + i * 16);
        text += line;
    }
    return text;
}
