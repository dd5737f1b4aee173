#pragma once
// What the exception dialogs keep in "DuruvaDod.ini": the detailed dialog's geometry, the
// column widths of its list pages and the e-mail address typed in the Windows-style dialog,
// with the rules for reading them back. No Win32 here: the file is reached through two
// callables, so the rules can be checked without one.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* DialogIniFileName = "DuruvaDod.ini";
inline constexpr const char* CoordinatesSection = "Coordinates";
inline constexpr const char* UserSection = "User";
inline constexpr const char* EmailKey = "Email";

using TIniRead = std::function<std::string(const std::string& section, const std::string& key,
                                           const std::string& fallback)>;
using TIniWrite = std::function<void(const std::string& section, const std::string& key, const std::string& value)>;

struct TWorkArea {
    int left = 0, top = 0, right = 0, bottom = 0;
};

enum TWindowShowState { wsNormal = 1, wsMaximized = 3, wsMinimized = 6 };

struct TDialogGeometry {
    int width = 745;
    int height = 468;  // without the bottom area
    int left = 0;
    int top = 0;
    int state = wsNormal;
};

// A size that is not a positive number reads as its default; a rectangle (height with the
// bottom area) that leaves the work area is centred in it. A stored minimised state opens
// restored: a minimised dialog would never paint.
TDialogGeometry LoadDialogGeometry(const TIniRead& read, const TWorkArea& area, int bottomArea);

// recordedWidth/Height: the outer size last seen in the normal state, 0 when none was seen.
// Nothing is written without a recorded size, and nothing for the minimised state.
void SaveDialogGeometry(const TIniWrite& write, const TDialogGeometry& geometry, int recordedWidth,
                        int recordedHeight, int bottomArea);

enum class TColumnPage { CallStack, Modules, Processes };
struct TColumnKey {
    const char* key;
    int fallback;
};
// In column order; the modules page's last two columns use "ColMod6" then "ColMod5".
std::vector<TColumnKey> ColumnKeys(TColumnPage page);
std::vector<int> ReadColumnWidths(const TIniRead& read, TColumnPage page);
void WriteColumnWidths(const TIniWrite& write, TColumnPage page, const std::vector<int>& widths);

// The address the Windows-style dialog accepts: it becomes an SMTP sender and an ini value, so
// besides holding "@" and "." it may hold no control character, blank, "<" or ">", and at most
// MaxEmailLength bytes.
constexpr size_t MaxEmailLength = 254;
enum class TEmailCheck { Empty, Valid, Invalid };
TEmailCheck CheckEmailAddress(std::string_view trimmed);
