#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace Json {
class Value;
}

// Lenient member readers: a missing or badly typed member never stops the
// parsing of an answer, it gives the default instead. A parent that is not an
// object has no members.
namespace JsonRead {

// A string member's text; anything else is empty.
std::string Text(const Json::Value& object, const char* name);
// The same converted from UTF-8; invalid UTF-8 gives an empty text.
std::wstring WideText(const Json::Value& object, const char* name);

// Missing, null and string members give the default; other types are
// converted, and a conversion that fails (out of range, array, object) gives
// the default.
int32_t Int(const Json::Value& object, const char* name, int32_t fallback = 0);
uint32_t UInt(const Json::Value& object, const char* name, uint32_t fallback = 0);
int64_t Int64(const Json::Value& object, const char* name, int64_t fallback = 0);
double Double(const Json::Value& object, const char* name, double fallback = 0.0);

// Only a JSON boolean counts.
bool Bool(const Json::Value& object, const char* name);

// The member itself when present and not null, else nullptr.
const Json::Value* Member(const Json::Value& object, const char* name);

// Parses JSON text without collecting comments. False for text that does
// not parse (including nesting deeper than the reader's limit).
bool Parse(std::string_view text, Json::Value& out);

} // namespace JsonRead

// The compact JSON VelTray writes: no white space, members in ascending byte
// order of their names, UTF-8 left unescaped. No line feed is added.
std::string JsonCompact(const Json::Value& value);
