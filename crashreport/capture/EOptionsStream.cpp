// The options' binary stream: the current format (6000) and the older ones it still reads.
#include <string_view>

#include "crashreport/capture/ECorePlatform.h"
#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EOptions.h"

void WriteScrambledText(TByteWriter& stream, const std::string& text)
{
    std::string_view kept = text;
    if (kept.size() > 1 && kept.find("\r\n") == kept.size() - 2)
        kept.remove_suffix(2);
    std::string bytes(kept);
    for (char& c : bytes)
        c = static_cast<char>(c ^ OptionsTextScramble);
    stream.U32(static_cast<uint32_t>(bytes.size()));
    stream.Bytes(bytes);
}

std::string ReadScrambledText(TByteReader& stream)
{
    // Bytes() refuses a length beyond what is left, so a lying length allocates nothing.
    std::string bytes = stream.Bytes(stream.U32());
    for (char& c : bytes)
        c = static_cast<char>(c ^ OptionsTextScramble);
    return bytes;
}

uint64_t MigrateFieldVisibility(uint64_t storedBits, uint16_t version)
{
    if (version >= 6000)
        return storedBits & AllReportFields;
    struct TRun {
        int position;
        const char* digits;
    };
    static const TRun before500[] = {{5, "11"}, {10, "1"}, {13, "1111"}, {23, "1111"}, {31, "111111"}, {42, "1111111"}};
    static const TRun from500[] = {{6, "1"}, {10, "1"}, {13, "1111"}, {23, "1111"}, {34, "111"}, {41, "1"}, {48, "1"}};
    std::string digits;
    for (int bit = 0; bit < 48; ++bit)
        digits += storedBits >> bit & 1 ? '1' : '0';
    auto insert = [&](const auto& runs) {
        for (const TRun& run : runs)
            digits.insert(static_cast<size_t>(run.position - 1), run.digits);
    };
    if (version < 500)
        insert(before500);
    else
        insert(from500);
    uint64_t bits = 0;
    for (int bit = 0; bit < 48; ++bit)
        if (digits[static_cast<size_t>(bit)] == '1')
            bits |= uint64_t{1} << bit;
    return bits;
}

void TVurazaModuleOptions::SaveToStream(TByteWriter& s) const
{
    s.U8(LogEnabled());
    s.U8(HandlingEnabled());
    s.U8(LogFlags());
    s.U8(AppendReportToMessage());
    s.U8(KeepLogFile());
    s.U8(FirstDialogTab());
    s.U8(FreezeWatchEnabled());
    s.U32(static_cast<uint32_t>(FreezeTimeoutSeconds()));
    WriteScrambledText(s, SmtpSender());
    WriteScrambledText(s, SmtpServer());
    s.U16(static_cast<uint16_t>(SmtpServerPort()));
    WriteScrambledText(s, SmtpLogin());
    WriteScrambledText(s, SmtpLoginPassword());
    s.U8(TerminateButtonAction());
    s.U32(static_cast<uint32_t>(LogReportLimit()));
    s.U32(static_cast<uint32_t>(TerminateButtonAfter()));
    WriteScrambledText(s, MailRecipients());
    WriteScrambledText(s, MailSubject());
    s.U8(MailMethod());
    for (int i = 0; i < 6; ++i)
        s.U8(static_cast<uint8_t>(ReportFieldVisibility() >> (8 * i)));
    WriteScrambledText(s, LogFilePath());
    s.U8(UploadMethod());
    WriteScrambledText(s, UploadAddress());
    WriteScrambledText(s, UploadLogin());
    WriteScrambledText(s, UploadPassword());
    s.U32(UploadPort());
    WriteScrambledText(s, ExtraAttachments());
    s.U16(SendFlags());
    s.U16(DialogFlags());
    s.U32(static_cast<uint32_t>(DialogAutoCloseSeconds()));
    WriteScrambledText(s, SupportPageAddress());
    WriteScrambledText(s, WebPageTemplate());
    s.U8(StackFlags());
    s.U16(BehaviourFlags());
    s.U8(LeakFlags());
    s.U8(CrashRateAction());
    s.U32(static_cast<uint32_t>(CrashRateCount()));
    s.U32(static_cast<uint32_t>(CrashRateMinutes()));
    s.U8(CompiledFileFlags());
    s.U8(DialogKind());
    WriteScrambledText(s, ProxyServer());
    WriteScrambledText(s, ProxyLogin());
    WriteScrambledText(s, ProxyLoginPassword());
    s.U16(ProxyServerPort());
    WriteScrambledText(s, TrackerLogin());
    WriteScrambledText(s, TrackerLoginPassword());
    WriteScrambledText(s, TrackerAssignee());
    WriteScrambledText(s, TrackerProject());
    WriteScrambledText(s, TrackerCategory());
    WriteScrambledText(s, TrackerTrialId());
    WriteScrambledText(s, AttachmentZipPassword());
    const TVurazaExceptionsFilters& filters = ExceptionFilters();
    s.U32(static_cast<uint32_t>(filters.Count()));
    for (int i = 0; i < filters.Count(); ++i) {
        const TExceptionFilter& f = filters.Items(i);
        s.U8(f.Active);
        WriteScrambledText(s, f.ClassName);
        WriteScrambledText(s, f.Message);
        s.U8(f.Kind);
        s.U8(f.DialogChoice);
        s.U8(f.Handler);
        s.U8(f.Action);
    }
    WriteScrambledText(s, MailBody());
    for (int slot = 0; slot < MessageTextCount; ++slot)
        WriteScrambledText(s, RawMessageText(slot));
    WriteScrambledText(s, TextCollectionName());
}

namespace {

// Slots an older stream does not hold.
bool SlotAbsent(int slot, unsigned v)
{
    auto in = [slot](std::initializer_list<int> slots) {
        for (int s : slots)
            if (s == slot)
                return true;
        return false;
    };
    auto range = [slot](int from, int to) { return slot >= from && slot <= to; };
    if (v < 420 && slot == 20)
        return true;
    if (v < 421 && slot == 19)
        return true;
    if (v < 450 && (in({9, 10, 15, 16, 22, 23, 24, 41, 47, 48, 68, 81}) || range(110, 157)))
        return true;
    if (v < 500 && (in({25, 42, 131, 144, 145}) || range(72, 77) || range(84, 91) || range(98, 104)))
        return true;
    if (v < 6000 && (in({2, 21, 41, 43, 83, 113}) || range(11, 14) || range(26, 36) || range(51, 60) ||
                     range(105, 109) || range(117, 122) || range(133, 140) || range(146, 157)))
        return true;
    return v >= 500 && v < 6000 && (slot == 17 || slot == 18);
}

uint16_t SetOrClear(uint16_t flags, uint16_t bit, bool on)
{
    return static_cast<uint16_t>(on ? flags | bit : flags & ~bit);
}

}  // namespace

void TVurazaModuleOptions::ReadStream(TByteReader& s)
{
    const unsigned v = OptionsStreamVersion;
    auto text = [&s] { return ReadScrambledText(s); };
    auto i32 = [&s] { return static_cast<int32_t>(s.U32()); };

    SetLogEnabled(s.U8() != 0);
    SetHandlingEnabled(s.U8() != 0);
    SetLogFlags(s.U8());
    if (v < 500) {
        bool shown = s.U8() != 0;
        if (v < 450)
            shown = !shown;
        if (!shown)
            SetDialogKind(0);
    }
    SetAppendReportToMessage(s.U8() != 0);
    if (v >= 450 && v < 500) {
        for (uint16_t bit : {uint16_t{0x4}, uint16_t{0x10}, uint16_t{0x1}})
            SetSendFlags(SetOrClear(SendFlags(), bit, s.U8() != 0));
    }
    if (v > 400) {
        SetKeepLogFile(s.U8() != 0);
        uint8_t tab = s.U8();
        if (v < 6000 && tab == 3)
            tab = 5;
        SetFirstDialogTab(tab);
    }
    if (v > 402 && v < 500)
        SetDialogFlags(SetOrClear(DialogFlags(), 0x40, s.U8() != 0));
    std::string frozenText;
    if (v >= 420) {
        SetFreezeWatchEnabled(s.U8() != 0);
        int32_t timeout = i32();
        if (v < 422)
            timeout /= 1000;
        SetFreezeTimeoutSeconds(timeout);
        if (v < 6000)
            frozenText = text();
        if (v >= 450)
            SetSmtpSender(text());
    }
    SetSmtpServer(text());
    if (v >= 450)
        SetSmtpServerPort(static_cast<int16_t>(s.U16()));
    if (v > 420) {
        SetSmtpLogin(text());
        SetSmtpLoginPassword(text());
        SetTerminateButtonAction(s.U8());
    }
    if (v < 6000 && s.U8() == 0)
        SetTerminateButtonAction(0);
    SetLogReportLimit(i32());
    SetTerminateButtonAfter(i32());
    SetMailRecipients(text());
    SetMailSubject(text());
    uint8_t method = s.U8();
    if (v < 450 && method != 0)
        method = SmtpServer().empty() ? 1 : 2;
    SetMailMethod(method);

    SetReportFieldVisibility(0);
    const int fieldBytes = v >= 6000 ? 6 : v < 500 ? 4 : 5;
    uint64_t fields = 0;
    for (int i = 0; i < fieldBytes; ++i)
        fields |= static_cast<uint64_t>(s.U8()) << (8 * i);
    SetReportFieldVisibility(MigrateFieldVisibility(fields, static_cast<uint16_t>(v)));

    if (v < 450)
        s.Skip(1);
    SetLogFilePath(text());
    if (v >= 500) {
        SetUploadMethod(s.U8());
        SetUploadAddress(text());
        SetUploadLogin(text());
        SetUploadPassword(text());
        SetUploadPort(s.U32());
        SetExtraAttachments(text());
        uint16_t send = s.U16();
        if (v < 6000)
            send = static_cast<uint16_t>(send & ~0x200);
        SetSendFlags(send);
        SetDialogFlags(v < 6000 ? s.U8() : s.U16());
        SetDialogAutoCloseSeconds(i32());
        SetSupportPageAddress(text());
        SetWebPageTemplate(text());
        uint8_t stack = s.U8();
        if (v < 6000)
            stack |= 0x10;
        SetStackFlags(stack);
        if (v < 6000) {
            SetBehaviourFlags(s.U8());
        } else {
            SetBehaviourFlags(s.U16());
            SetLeakFlags(s.U8());
        }
        SetCrashRateAction(s.U8());
        SetCrashRateCount(i32());
        SetCrashRateMinutes(i32());
        if (v >= 6000) {
            SetCompiledFileFlags(s.U8());
            SetDialogKind(s.U8());
            SetProxyServer(text());
            SetProxyLogin(text());
            SetProxyLoginPassword(text());
            SetProxyServerPort(s.U16());
            SetTrackerLogin(text());
            SetTrackerLoginPassword(text());
            SetTrackerAssignee(text());
            SetTrackerProject(text());
            SetTrackerCategory(text());
            SetTrackerTrialId(text());
            SetAttachmentZipPassword(text());
        }
    }

    TVurazaExceptionsFilters& filters = ExceptionFilters();
    filters.Clear();
    // No reservation by the count: it is untrusted, each filter must really be there.
    for (uint32_t n = s.U32(); n > 0; --n) {
        TExceptionFilter f;
        if (v < 6000) {
            f.Active = true;
            f.ClassName = text();
            f.Message = text();
            f.Kind = 2;
            f.DialogChoice = f.Message.empty() ? 0 : 2;
            f.Handler = 0;
            f.Action = 0;
        } else {
            f.Active = s.U8() != 0;
            f.ClassName = text();
            f.Message = text();
            f.Kind = s.U8();
            f.DialogChoice = s.U8();
            f.Handler = s.U8();
            f.Action = s.U8();
        }
        filters.Add(f);
    }
    SetMailBody(text());
    for (int slot = 0; slot < MessageTextCount; ++slot) {
        if (v < 6000 && slot == 68)
            text();  // a text these versions kept here and no longer exists
        if (!SlotAbsent(slot, v))
            SetMessageText(slot, text());
    }
    if (v >= 6000)
        SetTextCollectionName(text());
    if (!frozenText.empty())
        SetMessageText(156, frozenText);
}

void TVurazaModuleOptions::LoadFromStream(TByteReader& stream)
{
    TryLoadFromStream(stream);
}

bool TVurazaModuleOptions::TryLoadFromStream(TByteReader& stream)
{
    TChangeBlock block(*this);
    try {
        ReadStream(stream);
        return true;
    } catch (const Exception& e) {
        ReportInternalWarning(TDuruvaDodErrorCode::eeOptionsError,
                              Format("[LoadFromStream] %s", e.Message().c_str()));
        return false;
    }
}

void TVurazaModuleOptions::SaveToFile(const std::string& fileName) const
{
    TByteWriter stream;
    SaveToStream(stream);
    if (!CorePlatform().WriteFileBytes(fileName, stream.Data()))
        throw Exception(Format("Cannot create file \"%s\".", fileName.c_str()));
}

void TVurazaModuleOptions::LoadFromFile(const std::string& fileName)
{
    std::string bytes;
    if (!CorePlatform().ReadFileBytes(fileName, bytes))
        throw Exception(Format("Cannot open file \"%s\".", fileName.c_str()));
    TByteReader stream(bytes);
    LoadFromStream(stream);
}
