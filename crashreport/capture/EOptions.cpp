#include "crashreport/capture/EOptions.h"

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECorePlatform.h"
#include "crashreport/capture/EInternalWarning.h"
#include "framework/SysUtils.h"

uint16_t OptionsStreamVersion = 6000;

const char* const DefaultSmtpSender = "duruvadod@localhost";
const char* const DefaultWebPageTemplate =
    "<html>\r\n"
    "  <head>\r\n"
    "  </head>\r\n"
    "  <body TopMargin=10 LeftMargin=10>\r\n"
    "    <table width=\"100%\" border=\"0\">\r\n"
    "      <tr>\r\n"
    "        <td nowrap>\r\n"
    "          <font face=\"Lucida Console, Courier\" size=\"2\">\r\n"
    "            <%HTML_TAG%>\r\n"
    "          </font>\r\n"
    "        </td>\r\n"
    "      </tr>\r\n"
    "    </table>\r\n"
    "  </body>\r\n"
    "</html>";

TVurazaModuleOptions::TVurazaModuleOptions(std::string moduleFileName)
    : moduleFileName_(std::move(moduleFileName)),
      moduleHandle_(moduleFileName_.empty() ? 0 : CorePlatform().ModuleHandleOf(moduleFileName_)),
      filters_(std::make_unique<TVurazaExceptionsFilters>(this))
{
    SetDefaults();
    changeLockCount_ = 0;
}

TVurazaModuleOptions::~TVurazaModuleOptions()
{
    BeginChange();
    filters_.reset();
}

void TVurazaModuleOptions::EndChange()
{
    --changeLockCount_;
}

void TVurazaModuleOptions::Changed()
{
    if (changeLockCount_ > 0 || moduleHandle_ == 0 || moduleHandle_ != CorePlatform().RunningModuleHandle())
        return;
    try {
        PublishOptions();
    } catch (const Exception& e) {
        ReportInternalWarning(TDuruvaDodErrorCode::eeOptionsError, e.Message());
    } catch (...) {
        ReportInternalWarning(TDuruvaDodErrorCode::eeOptionsError, "General 'PublishOptions' error.");
    }
}

void TVurazaModuleOptions::SetFreezeWatchEnabled(bool value)
{
    fFreezeWatchEnabled_ = value;
    Changed();
}

void TVurazaModuleOptions::SetFreezeTimeoutSeconds(int32_t value)
{
    fFreezeTimeoutSeconds_ = value;
    if (value < 1)
        SetFreezeWatchEnabled(false);
    Changed();
}

int64_t TVurazaModuleOptions::FreezeTimeoutMilliseconds() const
{
    return static_cast<int64_t>(fFreezeTimeoutSeconds_ < 1 ? 1 : fFreezeTimeoutSeconds_) * 1000;
}

void TVurazaModuleOptions::SetReportFieldVisibility(uint64_t value)
{
    fReportFieldVisibility_ = value & AllReportFields;
    Changed();
}

void TVurazaModuleOptions::SetLogReportLimit(int32_t value)
{
    fLogReportLimit_ = value < 1 ? 1 : value;
    Changed();
}

void TVurazaModuleOptions::SetCrashRateCount(int32_t value)
{
    fCrashRateCount_ = value;
    if (value <= 0)
        SetCrashRateAction(0);
    Changed();
}

void TVurazaModuleOptions::SetLeakFlags(uint8_t value)
{
    fLeakFlags_ = value;
    Changed();
}

void TVurazaModuleOptions::SetReproduceStepsText(std::string value)
{
    fReproduceStepsText_ = std::move(value);
    Changed();
}

void TVurazaModuleOptions::SetReporterActive(bool value)
{
    fReporterActive_ = value;
    Changed();
}

std::string TVurazaModuleOptions::MessageText(int slot) const
{
    if (slot < 0 || slot >= MessageTextCount)
        return "";
    return ExpandTextVariables(texts_[static_cast<size_t>(slot)]);
}

const std::string& TVurazaModuleOptions::RawMessageText(int slot) const
{
    static const std::string none;
    return slot < 0 || slot >= MessageTextCount ? none : texts_[static_cast<size_t>(slot)];
}

void TVurazaModuleOptions::SetMessageText(int slot, std::string text)
{
    if (slot < 0 || slot >= MessageTextCount)
        return;
    texts_[static_cast<size_t>(slot)] = std::move(text);
    Changed();
}

#define VURAZA_SET_DEFAULT(Type, Name, Default) Set##Name(Default);
#define VURAZA_COPY_OPTION(Type, Name, Default) Set##Name(source->Name());

void TVurazaModuleOptions::Assign(const TVurazaModuleOptions* source)
{
    if (!source)
        throw EConvertError("Impossible to assign nil as TVurazaModuleOptions.");
    if (source == this)
        return;
    TChangeBlock block(*this);
    filters_->AssignFilters(source->ExceptionFilters());
    texts_ = source->texts_;
    VURAZA_PLAIN_OPTIONS(VURAZA_COPY_OPTION)
    SetFreezeWatchEnabled(source->FreezeWatchEnabled());
    SetFreezeTimeoutSeconds(source->FreezeTimeoutSeconds());
    SetReportFieldVisibility(source->ReportFieldVisibility());
    VURAZA_PLAIN_OPTIONS_2(VURAZA_COPY_OPTION)
    SetLogReportLimit(source->LogReportLimit());
    VURAZA_PLAIN_OPTIONS_3(VURAZA_COPY_OPTION)
    SetCrashRateCount(source->CrashRateCount());
    VURAZA_PLAIN_OPTIONS_4(VURAZA_COPY_OPTION)
    fLeakFlags_ = source->fLeakFlags_;
    fReproduceStepsText_ = source->fReproduceStepsText_;
}

void TVurazaModuleOptions::SetDefaults()
{
    TChangeBlock block(*this);
    VURAZA_PLAIN_OPTIONS(VURAZA_SET_DEFAULT)
    SetFreezeWatchEnabled(false);
    SetFreezeTimeoutSeconds(60);
    SetReportFieldVisibility(AllReportFields);
    VURAZA_PLAIN_OPTIONS_2(VURAZA_SET_DEFAULT)
    SetLogReportLimit(32);
    VURAZA_PLAIN_OPTIONS_3(VURAZA_SET_DEFAULT)
    SetCrashRateCount(10);
    VURAZA_PLAIN_OPTIONS_4(VURAZA_SET_DEFAULT)
    SetLeakFlags(0x1E);
    SetReproduceStepsText("");
    for (int i = 0; i < MessageTextCount; ++i)
        texts_[static_cast<size_t>(i)] = DefaultMessageTexts[i];
    filters_->Clear();
    SetReporterActive(true);
}

std::string TVurazaModuleOptions::BuildLogFileName(std::string name) const
{
    if (name.empty())
        name = StripHostSuffix(ModuleFileName());
    std::string path = BuildLogFilePath(ChangeFileExt(name, ".elf"));
    if (LogFlags() & 0x8)
        path = ChangeFileExt(path, "") + "_" + CorePlatform().SafeComputerName() + ".elf";
    return path;
}

std::string TVurazaModuleOptions::BuildLogFilePath(const std::string& name) const
{
    const std::string& output = LogFilePath();
    std::string path;
    if (LowerCase(ExtractFileExt(output)) == ".elf")
        path = output;
    else
        path = (output.empty() ? ExtractFilePath(name) : IncludeTrailingSlash(output)) + ExtractFileName(name);
    ForceFolders(ExtractFilePath(path));
    ResolveAccessibleFilePath(path, true, false);
    return path;
}

TModuleOptionsHooks& ModuleOptionsHooks()
{
    static TModuleOptionsHooks hooks;
    return hooks;
}

TVurazaModuleOptionsEx::~TVurazaModuleOptionsEx() = default;

bool TVurazaModuleOptionsEx::IsCurrent() const
{
    auto current = ModuleOptionsHooks().currentOptions;
    return current && current() == this;
}

void TVurazaModuleOptionsEx::UpdateFreezeWatch()
{
    const TModuleOptionsHooks& hooks = ModuleOptionsHooks();
    auto step = ReporterActive() && FreezeWatchEnabled() ? hooks.startFreezeWatch : hooks.stopFreezeWatch;
    if (step)
        step();
}

void TVurazaModuleOptionsEx::SetReporterActive(bool value)
{
    if (!IsCurrent() || value == ReporterActive()) {
        TVurazaModuleOptions::SetReporterActive(value);
        return;
    }
    TVurazaModuleOptions::SetReporterActive(value);
    UpdateFreezeWatch();
}

void TVurazaModuleOptionsEx::SetFreezeWatchEnabled(bool value)
{
    if (!IsCurrent() || value == FreezeWatchEnabled()) {
        TVurazaModuleOptions::SetFreezeWatchEnabled(value);
        return;
    }
    TVurazaModuleOptions::SetFreezeWatchEnabled(value);
    UpdateFreezeWatch();
}

void TVurazaModuleOptionsEx::PublishOptions()
{
    if (auto publish = ModuleOptionsHooks().publish)
        publish(*this);
}

void TVurazaModuleOptionsEx::ReadPublishedOptions()
{
    if (auto read = ModuleOptionsHooks().readPublished)
        read(*this);
}
