// Helper of the Python checks, which hold independent implementations of the options stream
// and of the block cipher. Bytes travel as hex on stdin and stdout.
//   options VERSION   reads a stream, prints every field as Name=value (texts in hex) and
//                     SAVED=<the stream written back>
//   cuts              loads every prefix of a version-6000 stream and of the same bytes read
//                     as versions 421 and 500; prints "cuts: ok"
//   encrypt KEY       prints EncryptBlock of each whole 8-byte block
//   decrypt KEY       prints DecryptBuffer of the bytes
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>

#include "crashreport/capture/EEncrypt.h"
#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EOptions.h"

namespace {

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string Unhex(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return out;
}

std::string ReadInput()
{
    std::string text(std::istreambuf_iterator<char>(std::cin), {});
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return Unhex(text);
}

void Put(const char* name, const std::string& v) { std::printf("%s=%s\n", name, Hex(v).c_str()); }
void Put(const char* name, bool v) { std::printf("%s=%d\n", name, v ? 1 : 0); }
void Put(const char* name, long long v) { std::printf("%s=%lld\n", name, v); }
template <class T>
void Put(const char* name, const T& v) { Put(name, static_cast<long long>(v)); }

#define PUT_OPTION(Type, Name, Default) Put(#Name, o.Name());

void DumpOptions(const TVurazaModuleOptions& o)
{
    VURAZA_PLAIN_OPTIONS(PUT_OPTION)
    VURAZA_PLAIN_OPTIONS_2(PUT_OPTION)
    VURAZA_PLAIN_OPTIONS_3(PUT_OPTION)
    VURAZA_PLAIN_OPTIONS_4(PUT_OPTION)
    Put("FreezeWatchEnabled", o.FreezeWatchEnabled());
    Put("FreezeTimeoutSeconds", o.FreezeTimeoutSeconds());
    Put("ReportFieldVisibility", static_cast<long long>(o.ReportFieldVisibility()));
    Put("LogReportLimit", o.LogReportLimit());
    Put("CrashRateCount", o.CrashRateCount());
    Put("LeakFlags", o.LeakFlags());
    const TVurazaExceptionsFilters& filters = o.ExceptionFilters();
    Put("FilterCount", filters.Count());
    for (int i = 0; i < filters.Count(); ++i) {
        const TExceptionFilter& f = filters.Items(i);
        std::printf("Filter%d=%d,%s,%s,%d,%d,%d,%d\n", i, f.Active ? 1 : 0, Hex(f.ClassName).c_str(),
                    Hex(f.Message).c_str(), f.Kind, f.DialogChoice, f.Handler, f.Action);
    }
    for (int slot = 0; slot < MessageTextCount; ++slot)
        std::printf("Text%d=%s\n", slot, Hex(o.RawMessageText(slot)).c_str());
}

int Options(int version)
{
    const std::string bytes = ReadInput();
    TVurazaModuleOptions options("");
    OptionsStreamVersion = static_cast<uint16_t>(version);
    TByteReader reader(bytes);
    options.LoadFromStream(reader);
    DumpOptions(options);
    std::printf("Warning=%s\n", Hex(LastWarningText()).c_str());
    TByteWriter writer;
    options.SaveToStream(writer);
    std::printf("SAVED=%s\n", Hex(writer.Data()).c_str());
    return 0;
}

int Cuts()
{
    const std::string bytes = ReadInput();
    for (uint16_t version : {uint16_t{6000}, uint16_t{500}, uint16_t{421}, uint16_t{400}}) {
        OptionsStreamVersion = version;
        for (size_t n = 0; n <= bytes.size(); ++n) {
            TVurazaModuleOptions options("");
            const std::string cut = bytes.substr(0, n);
            TByteReader reader(cut);
            options.LoadFromStream(reader);
        }
    }
    std::printf("cuts: ok\n");
    return 0;
}

int Cipher(bool encrypt, const char* key)
{
    const std::string bytes = ReadInput();
    SetCipherKey(key);
    std::string out(bytes.size(), '\0');
    auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
    auto* dst = reinterpret_cast<uint8_t*>(out.data());
    if (encrypt) {
        out.resize(bytes.size() / 8 * 8);
        for (size_t i = 0; i + 8 <= bytes.size(); i += 8)
            EncryptBlock(in + i, dst + i);
    } else {
        DecryptBuffer(in, dst, bytes.size());
    }
    std::printf("%s\n", Hex(out).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "options" && argc > 2)
        return Options(std::atoi(argv[2]));
    if (command == "cuts")
        return Cuts();
    if ((command == "encrypt" || command == "decrypt") && argc > 2)
        return Cipher(command == "encrypt", argv[2]);
    std::fprintf(stderr, "usage: options VERSION | cuts | encrypt KEY | decrypt KEY\n");
    return 2;
}
