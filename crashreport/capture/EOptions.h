#pragma once
// Every crash-reporter setting of one module (the program or a library in it): how exceptions
// are shown, logged and sent, credentials, call-stack and leak options, the exception filters
// and the 158 message texts. Every setter ends in Changed(), which republishes the options of
// the running module unless a change block is open.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "crashreport/capture/EByteStream.h"
#include "crashreport/capture/EFilters.h"
#include "crashreport/capture/ELang.h"

// Format version of the stream LoadFromStream reads; the loader sets it first.
extern uint16_t OptionsStreamVersion;

// Byte every stored text is XORed with.
constexpr uint8_t OptionsTextScramble = 0xA7;
extern const char* const DefaultSmtpSender;
extern const char* const DefaultWebPageTemplate;
constexpr uint64_t AllReportFields = 0xFFFFFFFFFFFFull;

// Plain fields in declared order: type, name, default. Their setters only store.
#define VURAZA_PLAIN_OPTIONS(X)                                  \
    X(std::string, SmtpSender, DefaultSmtpSender)                \
    X(std::string, SmtpServer, "")                               \
    X(std::string, SmtpLogin, "")                                \
    X(std::string, SmtpLoginPassword, "")                        \
    X(int16_t, SmtpServerPort, 25)                               \
    X(std::string, ProxyServer, "")                              \
    X(std::string, ProxyLogin, "")                               \
    X(std::string, ProxyLoginPassword, "")                       \
    X(uint16_t, ProxyServerPort, 8080)                           \
    X(std::string, TrackerLogin, "")                             \
    X(std::string, TrackerLoginPassword, "")                     \
    X(std::string, TrackerAssignee, "")                          \
    X(std::string, TrackerProject, "")                           \
    X(std::string, TrackerCategory, "")                          \
    X(std::string, TrackerTrialId, "")                           \
    X(std::string, AttachmentZipPassword, "")                    \
    X(std::string, BuildStartCommand, "")                        \
    X(std::string, BuildSuccessCommand, "")                      \
    X(std::string, BuildFailureCommand, "")                      \
    X(uint8_t, CompiledFileFlags, 1)                             \
    X(uint8_t, TerminateButtonAction, 2)

#define VURAZA_PLAIN_OPTIONS_2(X)                                \
    X(uint8_t, DialogKind, 2)                                    \
    X(std::string, TextCollectionName, "English")                \
    X(bool, LogEnabled, false)                                   \
    X(bool, HandlingEnabled, true)                               \
    X(bool, AppendReportToMessage, false)                        \
    X(bool, KeepLogFile, true)                                   \
    X(uint8_t, LogFlags, 0x30)                                   \
    X(uint16_t, SendFlags, 0x51)                                 \
    X(uint8_t, FirstDialogTab, 0)

#define VURAZA_PLAIN_OPTIONS_3(X)                                \
    X(int32_t, TerminateButtonAfter, 3)                          \
    X(std::string, LogFilePath, "")                              \
    X(std::string, MailRecipients, "")                           \
    X(std::string, MailSubject, "")                              \
    X(std::string, MailBody, "")                                 \
    X(uint8_t, MailMethod, 0)                                    \
    X(uint8_t, UploadMethod, 0)                                  \
    X(std::string, ExtraAttachments, "")                         \
    X(uint16_t, DialogFlags, 0x18F)                              \
    X(int32_t, DialogAutoCloseSeconds, 0)                        \
    X(std::string, SupportPageAddress, "")                       \
    X(std::string, WebPageTemplate, DefaultWebPageTemplate)      \
    X(uint8_t, CrashRateAction, 2)

#define VURAZA_PLAIN_OPTIONS_4(X)                                \
    X(int32_t, CrashRateMinutes, 1)                              \
    X(uint8_t, StackFlags, 0x0F)                                 \
    X(uint16_t, BehaviourFlags, 0x58)                            \
    X(std::string, UploadAddress, "")                            \
    X(uint32_t, UploadPort, 0)                                   \
    X(std::string, UploadPassword, "")                           \
    X(std::string, UploadLogin, "")

#define VURAZA_DECLARE_OPTION(Type, Name, Default)               \
public:                                                          \
    const Type& Name() const { return f##Name##_; }              \
    void Set##Name(Type value)                                   \
    {                                                            \
        f##Name##_ = std::move(value);                           \
        Changed();                                               \
    }                                                            \
                                                                 \
private:                                                         \
    Type f##Name##_ = Default;

class TVurazaModuleOptions {
public:
    explicit TVurazaModuleOptions(std::string moduleFileName);
    virtual ~TVurazaModuleOptions();
    TVurazaModuleOptions(const TVurazaModuleOptions&) = delete;
    TVurazaModuleOptions& operator=(const TVurazaModuleOptions&) = delete;

    VURAZA_PLAIN_OPTIONS(VURAZA_DECLARE_OPTION)
public:
    bool FreezeWatchEnabled() const { return fFreezeWatchEnabled_; }
    virtual void SetFreezeWatchEnabled(bool value);
    int32_t FreezeTimeoutSeconds() const { return fFreezeTimeoutSeconds_; }
    // Below 1 switches the watch off.
    void SetFreezeTimeoutSeconds(int32_t value);
    // The watchdog's limit; 64 bits so that no timeout overflows.
    int64_t FreezeTimeoutMilliseconds() const;
    const std::string& ModuleFileName() const { return moduleFileName_; }
    uintptr_t ModuleHandle() const { return moduleHandle_; }
    // The module the options speak for (the handling's options take the faulting module's).
    void SetModuleIdentity(std::string fileName, uintptr_t handle)
    {
        moduleFileName_ = std::move(fileName);
        moduleHandle_ = handle;
    }
    uint64_t ReportFieldVisibility() const { return fReportFieldVisibility_; }
    void SetReportFieldVisibility(uint64_t value);

    VURAZA_PLAIN_OPTIONS_2(VURAZA_DECLARE_OPTION)
public:
    int32_t LogReportLimit() const { return fLogReportLimit_; }
    void SetLogReportLimit(int32_t value);  // below 1 stores 1

    VURAZA_PLAIN_OPTIONS_3(VURAZA_DECLARE_OPTION)
public:
    int32_t CrashRateCount() const { return fCrashRateCount_; }
    // 0 or below switches the crash-rate check off (CrashRateAction 0).
    void SetCrashRateCount(int32_t value);

    VURAZA_PLAIN_OPTIONS_4(VURAZA_DECLARE_OPTION)
public:
    // The call-stack item kinds (bit 1 << kind) the report and the dialog list: always kind 4,
    // kind 2 with StackFlags bit 0, kind 3 with bit 1.
    uint32_t ListedStackKinds() const
    {
        return (1u << 4) | ((fStackFlags_ & 1) ? 1u << 2 : 0) | ((fStackFlags_ & 2) ? 1u << 3 : 0);
    }
    uint8_t LeakFlags() const { return fLeakFlags_; }
    void SetLeakFlags(uint8_t value);
    const std::string& ReproduceStepsText() const { return fReproduceStepsText_; }
    void SetReproduceStepsText(std::string value);
    bool ReporterActive() const { return fReporterActive_; }
    virtual void SetReporterActive(bool value);

    TVurazaExceptionsFilters& ExceptionFilters() { return *filters_; }
    const TVurazaExceptionsFilters& ExceptionFilters() const { return *filters_; }

    // The slot's text with its variables expanded; empty outside 0-157.
    std::string MessageText(int slot) const;
    // The stored text, unexpanded.
    const std::string& RawMessageText(int slot) const;
    void SetMessageText(int slot, std::string text);

    int32_t ChangeLockCount() const { return changeLockCount_; }
    void BeginChange() { ++changeLockCount_; }
    void EndChange();
    void Changed();

    virtual void Assign(const TVurazaModuleOptions* source);
    virtual void SetDefaults();
    virtual void SaveToStream(TByteWriter& stream) const;
    virtual void SaveToFile(const std::string& fileName) const;
    // A stream that ends early or lies stops the load: what was read stays, and the failure
    // becomes an internal warning.
    virtual void LoadFromStream(TByteReader& stream);
    // The same load, telling whether the whole stream was read.
    bool TryLoadFromStream(TByteReader& stream);
    virtual void LoadFromFile(const std::string& fileName);
    virtual void PublishOptions() {}
    virtual void ReadPublishedOptions() {}

    std::string BuildLogFileName(std::string name) const;
    std::string BuildLogFilePath(const std::string& name) const;

private:
    // Opens a change block and, when it closes (also by an exception), publishes once.
    class TChangeBlock {
    public:
        explicit TChangeBlock(TVurazaModuleOptions& options) : options_(options) { options_.BeginChange(); }
        ~TChangeBlock()
        {
            options_.EndChange();
            options_.Changed();
        }

    private:
        TVurazaModuleOptions& options_;
    };
    void ReadStream(TByteReader& stream);

    int32_t changeLockCount_ = 0;
    bool fFreezeWatchEnabled_ = false;
    int32_t fFreezeTimeoutSeconds_ = 60;
    std::string moduleFileName_;
    uintptr_t moduleHandle_ = 0;
    uint64_t fReportFieldVisibility_ = AllReportFields;
    int32_t fLogReportLimit_ = 32;
    int32_t fCrashRateCount_ = 10;
    uint8_t fLeakFlags_ = 0x1E;
    std::string fReproduceStepsText_;
    bool fReporterActive_ = true;
    std::unique_ptr<TVurazaExceptionsFilters> filters_;
    std::array<std::string, MessageTextCount> texts_;
};

// Text form of the stream: a final CRLF dropped, each byte scrambled, 32-bit length first.
void WriteScrambledText(TByteWriter& stream, const std::string& text);
std::string ReadScrambledText(TByteReader& stream);

// The 48 report-field bits of an older stream, with the fields added since set.
uint64_t MigrateFieldVisibility(uint64_t storedBits, uint16_t version);

// The options of the running module reach the hang watchdog and the other modules of the
// process through these; the units that own those install the procedures.
struct TModuleOptionsHooks {
    TVurazaModuleOptions* (*currentOptions)() = nullptr;
    void (*startFreezeWatch)() = nullptr;
    void (*stopFreezeWatch)() = nullptr;
    void (*publish)(TVurazaModuleOptions& options) = nullptr;
    void (*readPublished)(TVurazaModuleOptions& options) = nullptr;
};
TModuleOptionsHooks& ModuleOptionsHooks();

class TVurazaModuleOptionsEx : public TVurazaModuleOptions {
public:
    using TVurazaModuleOptions::TVurazaModuleOptions;
    ~TVurazaModuleOptionsEx() override;
    void SetReporterActive(bool value) override;
    void SetFreezeWatchEnabled(bool value) override;
    void PublishOptions() override;
    void ReadPublishedOptions() override;

private:
    bool IsCurrent() const;
    void UpdateFreezeWatch();
};
