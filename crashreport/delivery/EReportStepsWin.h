#pragma once
// The report's steps of the handling road, over CurrentExceptionRecord and the road's texts:
// the report text, the log's version check and duplicate search, the screenshot, the web
// output, the log step and the clipboard. The road's step object forwards to them.
//
// They run on TExceptionThread; the text's system facts are read after the other threads were
// resumed (the road holds threads still only when BehaviourFlags asks for it).

#include <string>

void BuildRoadReportText(std::string& reportText);
void CheckRoadLogVersion();
bool FindRoadDuplicateReport(bool increment);
void CaptureRoadScreenshot();
void SaveRoadScreenshotFile();
void ReleaseRoadScreenshot();
void ShowRoadWebOutput(const std::string& text);
void SaveRoadCapturedPage(const std::string& page);
bool LoadRoadCapturedPage(std::string& page);
void SaveRoadReportToLog();
void CopyRoadReportToClipboard(const std::string& text);
