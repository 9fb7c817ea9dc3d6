#include "platform/JsonRead.h"

#include "platform/TextConv.h"

#include <json/json.h>

#include <memory>

namespace JsonRead {

const Json::Value* Member(const Json::Value& object, const char* name)
{
    if (!object.isObject())
        return nullptr;
    const Json::Value* member = object.find(name, name + std::char_traits<char>::length(name));
    if (!member || member->isNull())
        return nullptr;
    return member;
}

std::string Text(const Json::Value& object, const char* name)
{
    const Json::Value* member = Member(object, name);
    if (!member || !member->isString())
        return {};
    return member->asString();
}

std::wstring WideText(const Json::Value& object, const char* name)
{
    return Utf8ToWide(Text(object, name));
}

namespace {

// Converts with the reader's own rules; jsoncpp throws when a value does not
// fit, which is the "conversion fails" case.
template <typename T, typename Convert>
T Number(const Json::Value& object, const char* name, T fallback, Convert convert)
{
    const Json::Value* member = Member(object, name);
    if (!member || member->isString())
        return fallback;
    try {
        return convert(*member);
    } catch (...) {
        return fallback;
    }
}

} // namespace

int32_t Int(const Json::Value& object, const char* name, int32_t fallback)
{
    return Number<int32_t>(object, name, fallback, [](const Json::Value& v) { return v.asInt(); });
}

uint32_t UInt(const Json::Value& object, const char* name, uint32_t fallback)
{
    return Number<uint32_t>(object, name, fallback, [](const Json::Value& v) { return v.asUInt(); });
}

int64_t Int64(const Json::Value& object, const char* name, int64_t fallback)
{
    return Number<int64_t>(object, name, fallback, [](const Json::Value& v) { return v.asInt64(); });
}

double Double(const Json::Value& object, const char* name, double fallback)
{
    return Number<double>(object, name, fallback, [](const Json::Value& v) { return v.asDouble(); });
}

bool Bool(const Json::Value& object, const char* name)
{
    const Json::Value* member = Member(object, name);
    return member && member->isBool() && member->asBool();
}

bool Parse(std::string_view text, Json::Value& out)
{
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    // Bounded recursion: a hostile file cannot exhaust the stack.
    builder["stackLimit"] = 256;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    try {
        Json::Value value;
        std::string errors;
        if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors))
            return false;
        out = std::move(value);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace JsonRead

std::string JsonCompact(const Json::Value& value)
{
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    writer["emitUTF8"] = true;
    return Json::writeString(writer, value);
}
