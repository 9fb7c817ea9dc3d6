#include "platform/Win32.h"

#include "platform/DeviceIdentity.h"

#include <gtest/gtest.h>

#include <cctype>
#include <vector>

using namespace DeviceIdentity;

TEST(DeviceIdentity, OperatingSystemTable)
{
    struct Case {
        uint32_t major, minor, build;
        const char* name;
    } cases[] = {
        {5, 1, 2600, "winXp"},
        {6, 0, 6000, "Microsoft Windows Vista"},
        {6, 1, 7601, "Microsoft Windows 7"},
        {6, 2, 9200, "Microsoft Windows 8"},
        {6, 3, 9600, "Microsoft Windows 8.1"},
        {6, 4, 9800, "unknown OperatingSystem."},
        {10, 0, 21999, "Microsoft Windows 10"},
        {10, 0, 22000, "Microsoft Windows 11"},
        {11, 0, 0, "unknown OperatingSystem."},
        {0, 0, 0, "unknown OperatingSystem."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OsNameFor(c.major, c.minor, c.build), c.name) << c.major << "." << c.minor << "." << c.build;
}

TEST(DeviceIdentity, RunningSystemHasAVersionText)
{
    std::string name, version;
    osVersion(name, version);
    EXPECT_FALSE(name.empty());
    unsigned major = 0, minor = 0, build = 0;
    ASSERT_EQ(std::sscanf(version.c_str(), "%u.%u.%u", &major, &minor, &build), 3) << version;
    EXPECT_EQ(name, OsNameFor(major, minor, build));
    EXPECT_GT(major, 0u) << "the process environment block gives the version";
}

namespace {

// Identify data with a text placed into words [first, ...], high byte first.
std::vector<uint16_t> IdentifyWith(size_t first, const std::string& text)
{
    std::vector<uint16_t> words(256, 0x2020);
    for (size_t i = 0; i < text.size(); i += 2) {
        const unsigned char high = static_cast<unsigned char>(text[i]);
        const unsigned char low = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : ' ';
        words[first + i / 2] = static_cast<uint16_t>((high << 8) | low);
    }
    return words;
}

} // namespace

TEST(DeviceIdentity, IdentifyTextDropsEverySpace)
{
    struct Case {
        std::string raw;
        std::string serial;
    } cases[] = {
        {"    WD-WCC4N1234567 ", "WD-WCC4N1234567"},
        {"S2 1N XA 0G", "S21NXA0G"},
        {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOPQRST"},
        {"", ""},
    };
    for (const Case& c : cases) {
        auto words = IdentifyWith(10, c.raw);
        EXPECT_EQ(IdentifyText(words.data(), words.size(), 10, 19), c.serial) << c.raw;
    }
    auto words = IdentifyWith(27, "Samsung SSD 860 EVO 500GB");
    EXPECT_EQ(IdentifyText(words.data(), words.size(), 27, 46), "SamsungSSD860EVO500GB");
    // A range beyond the data stops at its end.
    EXPECT_EQ(IdentifyText(words.data(), 30, 27, 46), "Samsun");
}

TEST(DeviceIdentity, SerialAcceptance)
{
    EXPECT_TRUE(SerialAccepted("A123"));
    EXPECT_TRUE(SerialAccepted("9"));
    EXPECT_FALSE(SerialAccepted(""));
    EXPECT_FALSE(SerialAccepted("-abc"));
    EXPECT_TRUE(SerialAccepted("-------------------Z"));
    EXPECT_FALSE(SerialAccepted("--------------------"));
}

TEST(DeviceIdentity, DescriptorStrings)
{
    struct Case {
        std::string raw;
        std::string decoded;
    } cases[] = {
        {"3457443132", "4WD12"},          // hex pairs of printable bytes
        {"  3457", "4W"},                 // spaces count as "0": a zero byte, then "4W"
        {" 34 57", "34 57"},              // " 3" decodes to 0x03: not printable, taken as text
        {"  S3Z9NB0K123456  ", "S3Z9NB0K123456"}, // not hex: the printable text, trimmed
        {"ABC\x01XYZ", "ABC"},            // stops at the first unprintable character
        {"0A0B", "0A0B"},                 // decodes to control bytes: copied as text instead
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeDescriptorString(c.raw), c.decoded) << c.raw;
}

TEST(DeviceIdentity, WmicOutput)
{
    EXPECT_EQ(ParseWmicOutput("SerialNumber  \r\n\r\nWD-12345    \r\n\r\n"), "WD-12345");
    EXPECT_EQ(ParseWmicOutput("SerialNumber\n"), "");
    EXPECT_EQ(ParseWmicOutput(""), "");
    EXPECT_EQ(ParseWmicOutput("  \t\r\nX1\n"), "X1");
    // Wine writes UTF-16LE with a byte-order mark into the pipe.
    const std::u16string wide = u"SerialNumber  \r\n\r\nZX-9 \r\n";
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    EXPECT_EQ(ParseWmicOutput(bytes), "ZX-9");
}

TEST(DeviceIdentity, LiveQueriesFallThroughCleanly)
{
    // Under Wine most device queries fail; each must come back with a text
    // (possibly empty), never hang or crash.
    const std::string serial = diskSerial();
    for (char c : serial)
        EXPECT_NE(c, '\r');
    EXPECT_FALSE(computerName().empty());
    const std::string mac = macAddress();
    EXPECT_TRUE(mac.empty() || mac.size() == 17) << mac;
    EXPECT_EQ(macAddress(), mac);
    (void)ipAddress();
}
