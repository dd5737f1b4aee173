#pragma once
// The log of reports (".elf"): every report the reporter produced, oldest first, separated by
// four CR LF. Each entry of the list is a report's text followed by three CR LF; the file is
// the entries joined, each followed by one more CR LF.
// The file itself is behind TLogFileStore, so the text rules need no system; the Windows store
// keeps other processes out while a log is open and replaces the file in one step.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "framework/StringList.h"

class TLogFileStore {
public:
    virtual ~TLogFileStore() = default;
    // The whole file, or nothing when it doesn't exist. Read errors raise.
    virtual std::optional<std::string> Read() = 0;
    // Replaces the whole file. Write errors raise.
    virtual void Write(std::string_view text) = 0;
};

// Cuts a log's text into its reports, each ending in three CR LF; pieces that hold no table
// (free text, a cut report) are dropped.
TStringList SplitLogText(std::string_view text);

// The value of item `number` ("2.8") in one report's text, in its plain form; empty when absent.
std::string ReportItemValue(std::string_view report, std::string_view number);
// The version of a report: its first line from the 11th character on.
std::string ReportVersion(std::string_view report);

class TLogFile {
public:
    explicit TLogFile(std::unique_ptr<TLogFileStore> store);

    // Keeps at most `keep` reports (-1: no limit; any other value below 1 counts as 1).
    void AddLogReport(std::string_view text, int keep);
    void SaveLogFile();

    std::string GetLogText() const;
    int ReportCount() const { return reports_.Count(); }
    const std::string& Report(int index) const { return reports_[index]; }

    std::string GetReportItem(std::string_view number, int index) const;
    void SetReportItem(std::string_view number, std::string_view value, int index, std::string_view label);
    // The last report in which any item numbers[i] starts with values[i], or -1.
    int FindReport(const std::string_view* numbers, const std::string_view* values, int count) const;
    // Adds one to item 2.8 ("Count") of the last report whose BugID (2.7) is bugId, and saves.
    // False when no report has it.
    bool CountRepeat(std::string_view bugId);

    // The parts the XML form reads; empty when the report has no such part.
    std::string GeneralPart(int index) const;
    std::string CallStackTable(int index) const;
    std::string ModulesTable(int index) const;
    std::string ProcessesTable(int index) const;
    std::string AssemblerLines(int index) const;
    std::string ProcessorSection(int index) const;
    std::string ReproduceText(int index) const;

    // Scrambled call-stack names of the log are decoded with it (see EXml).
    std::string Password;

private:
    std::unique_ptr<TLogFileStore> store_;
    TStringList reports_;
};
