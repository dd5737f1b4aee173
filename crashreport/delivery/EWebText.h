#pragma once
// Text tools of the web unit: a small tag scanner for the forms a bug tracker sends back,
// entity decoding, URL splitting and joining, percent-encoding, the WinInet error table and
// the bodies of the requests. All texts are 8-bit GBK; tag and attribute names compare
// without regard to ASCII case. No Win32 here.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/StringList.h"

using TEndMarkers = std::vector<std::string_view>;
extern const TEndMarkers kAttributeEndMarkers;  // " ", ">", "/>"
extern const TEndMarkers kInputEndMarkers;      // ">", "/>"
extern const TEndMarkers kTextAreaEndMarkers;   // "</textarea>", "/>"
extern const TEndMarkers kSelectEndMarkers;     // "</select>"
extern const TEndMarkers kOptionEndMarkers;     // "</option>"

void ControlCharsToSpaces(std::string& text);
// Named entities, then decimal references "&#N;" for 1..255; anything else stays as written.
void DecodeEntities(std::string& text);

// Finds startText from position (0-based) and scans to the first end marker that is not
// inside a quoted attribute. result: the trimmed text in between, blanks around "=" removed,
// entities decoded; position: just past the stop. False (result empty) when startText is absent.
bool ExtractTag(std::string_view html, std::string_view startText, const TEndMarkers& endMarkers,
                std::string& result, size_t& position);
std::string Unquote(std::string_view text);

bool FindInputValue(std::string_view html, std::string_view name, std::string& value);
bool FindTextAreaValue(std::string_view html, std::string_view name, std::string& value);
bool FindSelectedValue(std::string_view html, std::string_view selectName, std::string& value);
bool FindOptionValue(std::string_view html, std::string_view selectName, std::string_view optionText,
                     std::string& value);
// The text after the occurrence-th match of key (any case) up to a stop character, in the
// page's own case; empty when any of the matches is missing.
std::string ExtractAfter(std::string_view html, std::string_view key, int occurrence);

std::string UrlEncode(std::string_view text);
// "%XX" back to bytes; a "%" without two hex digits stays.
std::string UrlDecode(std::string_view text);
// The part after the first "=" of line index; empty for an index outside the list.
std::string ValueAt(const TStringList& list, int index);

// The address without the "user:password@" in front of its host, for texts a user may see.
std::string UrlWithoutCredentials(std::string_view url);

// scheme://[user[:password]@]host[:port][/path], and a port at the very end of the address
// ("http://host/up.php:8080"). User and password are percent-decoded. False for a port that
// is no number up to 65535 or a host with characters a host name can't have.
bool SplitUrl(std::string_view url, std::string& scheme, std::string& user, std::string& password,
              std::string& host, std::string& path, uint16_t& port);
// directory: up to and including the last "/" before the query, without scheme and host;
// page: after it up to the query; query: from the first "?" on.
void SplitPath(std::string_view path, std::string& directory, std::string& page, std::string& query);
// The host of an absolute address ("http://h:1/x" -> "h"), empty for a relative one.
std::string UrlHostOf(std::string_view url);
void AddCredentials(std::string& url, std::string_view user, std::string_view password, uint16_t port);

// The English text of a WinInet error code, empty when the table has none.
std::string WinInetErrorTableText(uint32_t code);
int WinInetErrorTableCount();

// "url=" part of a refresh header, trimmed; the text itself when it has none.
std::string RefreshTarget(std::string_view header);

// Request pieces from "name=value" lines.
std::string AppendQueryFields(std::string_view query, const TStringList& fields);
std::string UrlEncodedBody(const TStringList& fields);
// Reads a whole file; false when it can't be read.
using TFileReader = std::function<bool(const std::string& path, std::string& bytes)>;
std::string MultipartBody(std::string_view boundary, const TStringList& fields, const TStringList& files,
                          const TFileReader& readFile);
// "-"x27 and three groups of four upper-case hex digits, from the three numbers given.
std::string MultipartBoundary(unsigned a, unsigned b, unsigned c);

// "[v1 - 7]: x" -> "[v1 - 8]: x"; false for a counter of 9999 or more. A text without a
// counter stays as it is (true).
bool BumpCounterText(std::string& text);
std::string JoinTexts(std::string_view a, std::string_view b);
