// Writes generated logs as XML for xml_check.py: "DIR N" makes N logs of one to three reports with
// random sections, multi-line values, three threads, a leak row and a row of scrambled names,
// every other log with the password that decodes them, each as DIR/log_I.xml beside
// DIR/log_I.expect: "reports<TAB>count", "password<TAB>0 or 1", then the general values as built
// ("report<TAB>ID<TAB>hex of value" lines).
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "crashreport/capture/EEncrypt.h"
#include "crashreport/delivery/EBase64.h"
#include "crashreport/delivery/EXml.h"
#include "tests/crashreport/delivery/LogSamples.h"

namespace {

std::string Hex(const std::string& text)
{
    std::string out;
    char b[4];
    for (unsigned char c : text) {
        std::snprintf(b, sizeof b, "%02X", c);
        out += b;
    }
    return out;
}

std::string RandomValue(std::mt19937& rng)
{
    static const char* pieces[] = {"abc", "x: y", "", "Error at:", "\xD6\xD0\xCE\xC4", "a<b & \"c\"", "1.5", "tab\there"};
    std::string value;
    const int lines = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < lines; ++i) {
        if (i > 0) value += "\r\n";
        value += pieces[rng() % 8];
    }
    if (value.empty() || value.find_first_not_of("\r\n") == std::string::npos) value = "v";
    if (value.back() == '\n' || value.back() == ':') value += "z";
    return value;
}

// "?p" and the Base64 of the enciphered unit, "?" and that of "class.procedure".
std::string ScrambledRow()
{
    const auto scramble = [](std::string_view text) {
        SetCipherKey("secret");
        std::string out(text.size(), '\0');
        EncryptBuffer(reinterpret_cast<const uint8_t*>(text.data()), reinterpret_cast<uint8_t*>(out.data()), text.size());
        return Base64EncodeString(out);
    };
    return "|00401A40|a.exe|?p" + scramble("EHook") + "||?" + scramble("TFoo.Bar") + "|12[0]|";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    const std::string dir = argv[1];
    const int count = std::atoi(argv[2]);
    for (int n = 0; n < count; ++n) {
        std::mt19937 rng(static_cast<unsigned>(n) * 7919u + 1);
        TLogFile log(std::make_unique<TMemoryLogStore>());
        const int reports = 1 + static_cast<int>(rng() % 3);
        std::string expect = "reports\t" + std::to_string(reports) + "\npassword\t" + std::to_string(n % 2) + "\n";
        for (int r = 0; r < reports; ++r) {
            TLogItem item(0);
            for (int h = 1; h <= 3; ++h) {
                item.AddHeader("Section " + std::to_string(h));
                const int items = 1 + static_cast<int>(rng() % 5);
                for (int i = 1; i <= items; ++i) {
                    const bool include = rng() % 4 != 0;
                    const std::string value = RandomValue(rng);
                    item.AddItem("Label " + std::to_string(i), value, include);
                    if (include) expect += std::to_string(r) + "\t" + std::to_string(h) + "." + std::to_string(i) + "\t" + Hex(value) + "\n";
                }
            }
            std::string report = SampleReport("6.1.01 RC 1", {ScrambledRow(), "|+Memory Leak: Type=Data; Total size=100; Count=1|"});
            // The sample's own general part gives way to the generated one.
            const size_t table = report.find("Call Stack Information:");
            report = "DuruvaDod 6.1.01 RC 1\r\n\r\n" + item.GetFormattedText() + "\r\n\r\n" + report.substr(table);
            log.AddLogReport(report, -1);
        }
        if (n % 2) log.Password = "secret";
        const std::string xml = LogToXml(log);
        const std::string base = dir + "/log_" + std::to_string(n);
        if (FILE* f = std::fopen((base + ".xml").c_str(), "wb")) {
            std::fwrite(xml.data(), 1, xml.size(), f);
            std::fclose(f);
        }
        if (FILE* f = std::fopen((base + ".expect").c_str(), "wb")) {
            std::fwrite(expect.data(), 1, expect.size(), f);
            std::fclose(f);
        }
    }
    return 0;
}
