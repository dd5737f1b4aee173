#include "crashreport/capture/EReportSources.h"

#include "crashreport/capture/ECore.h"

TReportStackItem ReportStackItemOf(const TVurazaStackItem& item, const TThreadHeaderFacts& thread)
{
    TReportStackItem out;
    out.Kind = item.Kind;
    if (item.Module) out.ModuleFileName = ExtractFileName(item.Module->FileName);
    out.ThreadId = item.ThreadId;
    out.Group = item.Group;
    out.First = item.First;
    out.Address = static_cast<uint32_t>(item.Address);
    out.UnitName = item.UnitName.Str();
    out.ClassName = item.ClassName.Str();
    out.ProcedureName = item.ProcedureName.Str();
    out.Line = item.Line < 0 ? 0 : static_cast<uint32_t>(item.Line);
    out.LineDistance = item.LineDistance < 0 ? 0 : static_cast<uint32_t>(item.LineDistance);
    out.Thread = thread;
    out.Thread.Group = item.Group;
    if (item.LeakItem) {
        out.Thread.IsLeak = true;
        out.Thread.LeakClassName = item.LeakText.Str();
        out.Thread.LeakTotalSize = item.LeakSize;
        out.Thread.LeakCount = item.LeakCount;
    }
    return out;
}

TReportModule ReportModuleOf(const TVurazaModuleInfo& module)
{
    TReportModule out;
    out.Handle = static_cast<uint32_t>(module.Handle);
    out.FileName = ExtractFileName(module.FileName);
    out.Description = module.Description;
    out.Version = module.Version;
    out.Size = module.Size;
    out.Modified = module.LastModified;
    out.Path = ModuleFolderText(module.FileName);
    return out;
}

TReportProcess ReportProcessOf(const TVurazaProcessInfo& process)
{
    TReportProcess out;
    out.Id = process.ProcessId;
    out.FileName = ExtractFileName(process.FileName);
    out.Description = process.Description;
    out.Version = process.Version;
    out.Memory = process.Memory;
    out.Priority = PriorityText(process.PriorityClass);
    out.Threads = process.ThreadCount;
    out.Path = ModuleFolderText(process.FileName);
    return out;
}
