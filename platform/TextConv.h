#pragma once
#include <string>
#include <string_view>

// Wide text inside the process is UTF-16; byte text is UTF-8 unless a caller
// names another code page. Input that cannot be converted at all gives an
// empty string; invalid sequences inside convertible text become U+FFFD.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
std::wstring CodePageToWide(std::string_view text, unsigned codePage);
