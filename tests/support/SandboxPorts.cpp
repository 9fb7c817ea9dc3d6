#include "platform/Win32.h"
#include "tests/support/SandboxPorts.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

std::wstring WinePathFromUnix(std::wstring path)
{
    if (!path.empty() && path[0] == L'/') {
        std::replace(path.begin(), path.end(), L'/', L'\\');
        path = L"Z:" + path;
    }
    return path;
}

std::map<std::string, int> ReadSandboxPorts()
{
    std::map<std::string, int> ports;
    wchar_t value[1024] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"VELTRAY_SANDBOX_PORT_FILE", value, 1024);
    if (n == 0 || n >= 1024)
        return ports;
    std::ifstream in{std::filesystem::path(WinePathFromUnix(value))};
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            ports[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
    }
    return ports;
}
