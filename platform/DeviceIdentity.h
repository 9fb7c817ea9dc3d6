#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Values that identify the machine in requests and usage events. Every query
// that fails gives an empty text; nothing here throws.
namespace DeviceIdentity {

// Name and "major.minor.build" of the running system, from the process
// environment block; the numbers are read once per process.
void osVersion(std::string& name, std::string& version);
std::string computerName();
// Serial number of the first physical disk, or empty.
std::string diskSerial();
std::string macAddress();
std::string ipAddress();

// Pure pieces, exposed for tests.
std::string OsNameFor(uint32_t major, uint32_t minor, uint32_t build);
// Text of words [first, last] of ATA identify data: each word gives its high
// byte then its low byte; spaces are dropped, trailing white space removed.
std::string IdentifyText(const uint16_t* words, size_t count, size_t first, size_t last);
// The serial rule of identify data and descriptors: the first or the
// twentieth character is a letter or digit.
bool SerialAccepted(const std::string& serial);
// A storage descriptor's serial or product string: hex pairs decoded when
// they decode to printable bytes, else the leading printable characters.
std::string DecodeDescriptorString(std::string_view raw);
// The first serial line of "wmic diskdrive get SerialNumber" output. Takes
// the raw pipe bytes: 8-bit text, or UTF-16LE with a byte-order mark.
std::string ParseWmicOutput(std::string_view output);

} // namespace DeviceIdentity
