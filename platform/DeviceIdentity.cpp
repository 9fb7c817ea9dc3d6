#include "platform/Win32.h"
#include "platform/DeviceIdentity.h"

#include "platform/ScopedWin.h"
#include "platform/TextConv.h"

#include <winsock2.h>
#include <iphlpapi.h>
#include <winioctl.h>
#include <ntddscsi.h>
#include <winternl.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace DeviceIdentity {

namespace {

// FILE_DEVICE_SCSI (0x1b) comes with the driver kit only.
constexpr DWORD kScsiMiniportIdentify = (0x0000001bUL << 16) + 0x0501;
constexpr BYTE kAtaIdentifyDevice = 0xEC;
constexpr BYTE kAtaIdentifyPacketDevice = 0xA1;
constexpr size_t kIdentifyWords = 256;

bool IsPrintable(unsigned char c)
{
    return c >= 0x20 && c < 0x7f;
}

std::string TrimWhite(std::string text)
{
    const char* white = " \t\r\n\v\f";
    size_t end = text.find_last_not_of(white);
    if (end == std::string::npos)
        return {};
    size_t begin = text.find_first_not_of(white);
    return text.substr(begin, end - begin + 1);
}

struct OsNumbers {
    std::mutex mutex;
    bool read = false;
    uint32_t major = 0, minor = 0, build = 0;
};

OsNumbers& Numbers()
{
    static OsNumbers numbers;
    return numbers;
}

using NtQueryInformationProcessFn = LONG(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

bool ReadPebVersion(uint32_t& major, uint32_t& minor, uint32_t& build)
{
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (!ntdll)
        return false;
    auto query = reinterpret_cast<NtQueryInformationProcessFn>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQueryInformationProcess")));
    if (!query)
        return false;
    PROCESS_BASIC_INFORMATION info{};
    ULONG length = 0;
    if (query(::GetCurrentProcess(), ProcessBasicInformation, &info, sizeof(info), &length) < 0 ||
        !info.PebBaseAddress)
        return false;
    // OSMajorVersion, OSMinorVersion, OSBuildNumber of the PEB.
#ifdef _WIN64
    constexpr size_t kVersionOffset = 0x118;
#else
    constexpr size_t kVersionOffset = 0xA4;
#endif
    uint32_t values[3] = {};
    SIZE_T copied = 0;
    if (!::ReadProcessMemory(::GetCurrentProcess(), reinterpret_cast<const BYTE*>(info.PebBaseAddress) + kVersionOffset,
                             values, sizeof(values), &copied) ||
        copied != sizeof(values))
        return false;
    major = values[0];
    minor = values[1];
    // The build number is a 16-bit field; the service-pack number shares its word.
    build = values[2] & 0xFFFF;
    return true;
}

bool DeviceIo(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned)
{
    DWORD bytes = 0;
    BOOL ok = ::DeviceIoControl(device, code, in, inSize, out, outSize, &bytes, nullptr);
    if (returned)
        *returned = bytes;
    return ok != FALSE;
}

ScopedHandle OpenDrive(DWORD access, DWORD share)
{
    return ScopedHandle(::CreateFileW(L"\\\\.\\PhysicalDrive0", access, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

// SMART identify of drive 0 through an open handle. Returns true when
// identify data was read (whatever its serial looks like).
bool SmartIdentify(HANDLE drive, bool chooseCommand, std::vector<uint16_t>& words)
{
    GETVERSIONINPARAMS version{};
    DWORD returned = 0;
    if (!DeviceIo(drive, SMART_GET_VERSION, nullptr, 0, &version, sizeof(version), &returned))
        return false;
    if (version.bIDEDeviceMap == 0)
        return false;
    SENDCMDINPARAMS in{};
    in.cBufferSize = IDENTIFY_BUFFER_SIZE;
    in.irDriveRegs.bSectorCountReg = 1;
    in.irDriveRegs.bSectorNumberReg = 1;
    in.irDriveRegs.bDriveHeadReg = 0xA0;
    in.irDriveRegs.bCommandReg =
        chooseCommand && (version.bIDEDeviceMap & 0x10) ? kAtaIdentifyPacketDevice : kAtaIdentifyDevice;
    in.bDriveNumber = 0;
    std::vector<BYTE> out(sizeof(SENDCMDOUTPARAMS) + IDENTIFY_BUFFER_SIZE);
    if (!DeviceIo(drive, SMART_RCV_DRIVE_DATA, &in, sizeof(in) - 1, out.data(), static_cast<DWORD>(out.size()),
                  &returned))
        return false;
    const auto* result = reinterpret_cast<const SENDCMDOUTPARAMS*>(out.data());
    words.assign(kIdentifyWords, 0);
    std::memcpy(words.data(), result->bBuffer, kIdentifyWords * sizeof(uint16_t));
    return true;
}

std::string SerialFromIdentify(const std::vector<uint16_t>& words)
{
    std::string serial = IdentifyText(words.data(), words.size(), 10, 19);
    return SerialAccepted(serial) ? serial : std::string();
}

bool MethodSmartFullRights(std::string& serial)
{
    ScopedHandle drive = OpenDrive(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!drive)
        return false;
    std::vector<uint16_t> words;
    if (!SmartIdentify(drive.Get(), true, words))
        return false;
    serial = SerialFromIdentify(words);
    return true;
}

// Returns true when any drive answered.
bool MethodScsiMiniport(std::string& serial)
{
    bool answered = false;
    for (int controller = 0; controller < 2; ++controller) {
        wchar_t name[32];
        std::swprintf(name, 32, L"\\\\.\\Scsi%d:", controller);
        ScopedHandle port(::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
        if (!port)
            continue;
        for (int driveNumber = 0; driveNumber < 2; ++driveNumber) {
            const size_t size = sizeof(SRB_IO_CONTROL) + sizeof(SENDCMDOUTPARAMS) + IDENTIFY_BUFFER_SIZE;
            std::vector<BYTE> buffer(size);
            auto* control = reinterpret_cast<SRB_IO_CONTROL*>(buffer.data());
            control->HeaderLength = sizeof(SRB_IO_CONTROL);
            std::memcpy(control->Signature, "SCSIDISK", 8);
            control->Timeout = 10000;
            control->Length = static_cast<ULONG>(sizeof(SENDCMDOUTPARAMS) + IDENTIFY_BUFFER_SIZE);
            control->ControlCode = kScsiMiniportIdentify;
            auto* in = reinterpret_cast<SENDCMDINPARAMS*>(buffer.data() + sizeof(SRB_IO_CONTROL));
            in->irDriveRegs.bCommandReg = kAtaIdentifyDevice;
            in->bDriveNumber = static_cast<BYTE>(driveNumber);
            DWORD returned = 0;
            if (!DeviceIo(port.Get(), IOCTL_SCSI_MINIPORT, buffer.data(), static_cast<DWORD>(sizeof(SRB_IO_CONTROL) + sizeof(SENDCMDINPARAMS) - 1),
                          buffer.data(), static_cast<DWORD>(size), &returned))
                continue;
            answered = true;
            const auto* out = reinterpret_cast<const SENDCMDOUTPARAMS*>(buffer.data() + sizeof(SRB_IO_CONTROL));
            std::vector<uint16_t> words(kIdentifyWords);
            std::memcpy(words.data(), out->bBuffer, kIdentifyWords * sizeof(uint16_t));
            if (serial.empty())
                serial = SerialFromIdentify(words);
        }
    }
    return answered;
}

bool MethodStorageDescriptor(std::string& serial)
{
    ScopedHandle drive = OpenDrive(0, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!drive)
        return false;
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    std::vector<BYTE> buffer(10000);
    DWORD returned = 0;
    if (!DeviceIo(drive.Get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), buffer.data(),
                  static_cast<DWORD>(buffer.size()), &returned) ||
        returned < sizeof(STORAGE_DEVICE_DESCRIPTOR))
        return false;
    const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer.data());
    auto stringAt = [&](DWORD offset) -> std::string {
        if (offset == 0 || offset >= returned)
            return {};
        const char* begin = reinterpret_cast<const char*>(buffer.data()) + offset;
        return std::string(begin, strnlen(begin, returned - offset));
    };
    std::string candidate = DecodeDescriptorString(stringAt(descriptor->SerialNumberOffset));
    // The product id is read as the descriptor gives it; the device id is the serial.
    (void)DecodeDescriptorString(stringAt(descriptor->ProductIdOffset));
    if (!SerialAccepted(candidate))
        return false;
    serial = candidate;
    return true;
}

void MethodSmartShared(std::string& serial)
{
    ScopedHandle drive = OpenDrive(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (!drive)
        return;
    std::vector<uint16_t> words;
    if (SmartIdentify(drive.Get(), false, words))
        serial = SerialFromIdentify(words);
}

std::string RunWmic()
{
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readRaw = nullptr, writeRaw = nullptr;
    if (!::CreatePipe(&readRaw, &writeRaw, &inherit, 0))
        return {};
    ScopedHandle readEnd(readRaw), writeEnd(writeRaw);
    ::SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    wchar_t command[] = L"wmic diskdrive get SerialNumber";
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                          &process))
        return {};
    ScopedHandle processHandle(process.hProcess), threadHandle(process.hThread);
    // Our copy of the write end must go, or the pipe never ends.
    writeEnd.Reset();
    // Bounded: wmic has been seen to hang under Wine, and a pipe whose write
    // end a child of another thread inherited meanwhile never reports its
    // end. So the pipe is drained while the process runs, and both end with
    // the process or the deadline.
    constexpr ULONGLONG kWmicTimeoutMs = 10000;
    const ULONGLONG deadline = ::GetTickCount64() + kWmicTimeoutMs;
    std::string output;
    char chunk[4096];
    bool exited = false;
    for (;;) {
        DWORD available = 0;
        if (!::PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &available, nullptr))
            break; // every writer has closed
        if (available > 0) {
            DWORD got = 0;
            const DWORD want = available < sizeof(chunk) ? available : static_cast<DWORD>(sizeof(chunk));
            if (!::ReadFile(readEnd.Get(), chunk, want, &got, nullptr) || got == 0)
                break;
            if (output.size() < (1u << 20))
                output.append(chunk, got);
            continue;
        }
        if (exited)
            break; // ended and drained
        if (::GetTickCount64() >= deadline) {
            ::TerminateProcess(processHandle.Get(), 1);
            return {};
        }
        exited = ::WaitForSingleObject(processHandle.Get(), 20) == WAIT_OBJECT_0;
    }
    return ParseWmicOutput(output);
}

} // namespace

std::string OsNameFor(uint32_t major, uint32_t minor, uint32_t build)
{
    if (major == 5)
        return "winXp";
    if (major == 6) {
        switch (minor) {
        case 0: return "Microsoft Windows Vista";
        case 1: return "Microsoft Windows 7";
        case 2: return "Microsoft Windows 8";
        case 3: return "Microsoft Windows 8.1";
        default: break;
        }
    }
    if (major == 10)
        return build >= 22000 ? "Microsoft Windows 11" : "Microsoft Windows 10";
    return "unknown OperatingSystem.";
}

void osVersion(std::string& name, std::string& version)
{
    OsNumbers& numbers = Numbers();
    uint32_t major = 0, minor = 0, build = 0;
    {
        std::lock_guard<std::mutex> lock(numbers.mutex);
        if (!numbers.read)
            numbers.read = ReadPebVersion(numbers.major, numbers.minor, numbers.build);
        major = numbers.major;
        minor = numbers.minor;
        build = numbers.build;
    }
    name = OsNameFor(major, minor, build);
    char text[48];
    std::snprintf(text, sizeof(text), "%u.%u.%u", major, minor, build);
    version = text;
}

std::string computerName()
{
    wchar_t buffer[256] = {};
    DWORD size = 256;
    if (!::GetComputerNameW(buffer, &size))
        return {};
    return WideToUtf8(std::wstring_view(buffer, size));
}

std::string IdentifyText(const uint16_t* words, size_t count, size_t first, size_t last)
{
    std::string text;
    for (size_t i = first; i <= last && i < count; ++i) {
        const char pair[2] = {static_cast<char>(words[i] >> 8), static_cast<char>(words[i] & 0xFF)};
        for (char c : pair)
            if (c != ' ' && c != '\0')
                text.push_back(c);
    }
    size_t end = text.find_last_not_of(" \t\r\n\v\f");
    text.erase(end == std::string::npos ? 0 : end + 1);
    return text;
}

bool SerialAccepted(const std::string& serial)
{
    auto alnum = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    return (!serial.empty() && alnum(serial[0])) || (serial.size() > 19 && alnum(serial[19]));
}

std::string DecodeDescriptorString(std::string_view raw)
{
    auto hexValue = [](char c) -> int {
        if (c == ' ')
            return 0;
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string decoded;
    bool hex = !raw.empty() && raw.size() % 2 == 0;
    for (size_t i = 0; hex && i < raw.size(); i += 2) {
        int high = hexValue(raw[i]), low = hexValue(raw[i + 1]);
        if (high < 0 || low < 0) {
            hex = false;
            break;
        }
        unsigned char byte = static_cast<unsigned char>(high * 16 + low);
        if (byte != 0 && !IsPrintable(byte)) {
            hex = false;
            break;
        }
        if (byte != 0)
            decoded.push_back(static_cast<char>(byte));
    }
    if (!hex) {
        decoded.clear();
        for (char c : raw) {
            if (!IsPrintable(static_cast<unsigned char>(c)))
                break;
            decoded.push_back(c);
        }
    }
    return TrimWhite(decoded);
}

std::string ParseWmicOutput(std::string_view output)
{
    std::string text;
    if (output.size() >= 2 && static_cast<unsigned char>(output[0]) == 0xFF &&
        static_cast<unsigned char>(output[1]) == 0xFE) {
        // Wine's wmic writes UTF-16LE into a pipe.
        std::wstring wide((output.size() - 2) / 2, L'\0');
        std::memcpy(wide.data(), output.data() + 2, wide.size() * sizeof(wchar_t));
        text = WideToUtf8(wide);
    } else {
        text.assign(output);
    }
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() + 1 : end + 1;
        if (line.find("SerialNumber") != std::string::npos)
            continue;
        size_t last = line.find_last_not_of(" \r\n\t");
        line.erase(last == std::string::npos ? 0 : last + 1);
        if (!line.empty())
            return line;
    }
    return {};
}

std::string diskSerial()
{
    std::string serial;
    if (!MethodSmartFullRights(serial)) {
        const bool answered = MethodScsiMiniport(serial);
        if (!answered && !MethodStorageDescriptor(serial))
            MethodSmartShared(serial);
    }
    if (serial.empty())
        serial = RunWmic();
    return serial;
}

std::string macAddress()
{
    static std::once_flag once;
    static std::string mac;
    std::call_once(once, [] {
        ULONG size = 16 * 1024;
        std::vector<BYTE> buffer;
        ULONG result = ERROR_BUFFER_OVERFLOW;
        for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
            buffer.assign(size, 0);
            result = ::GetAdaptersAddresses(AF_UNSPEC, 0, nullptr,
                                            reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
        }
        if (result != NO_ERROR)
            return;
        for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
            if (a->PhysicalAddressLength != 6)
                continue;
            char text[32];
            std::snprintf(text, sizeof(text), "%02X-%02X-%02X-%02X-%02X-%02X", a->PhysicalAddress[0],
                          a->PhysicalAddress[1], a->PhysicalAddress[2], a->PhysicalAddress[3], a->PhysicalAddress[4],
                          a->PhysicalAddress[5]);
            mac = text;
            return;
        }
    });
    return mac;
}

std::string ipAddress()
{
    ULONG size = 0;
    if (::GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0)
        return {};
    std::vector<BYTE> buffer(size);
    auto* info = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
    if (::GetAdaptersInfo(info, &size) != NO_ERROR)
        return {};
    return std::string(info->IpAddressList.IpAddress.String,
                       strnlen(info->IpAddressList.IpAddress.String, sizeof(info->IpAddressList.IpAddress.String)));
}

} // namespace DeviceIdentity
