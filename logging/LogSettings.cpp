#include "platform/Win32.h"
#include "logging/LogSettings.h"

#include "logging/LightLogger.h"
#include "platform/ModulePath.h"

#include <shlobj.h>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<bool> g_instanceCreated{false};

void CreateDirectories(const std::wstring& path)
{
    // A directory that cannot be created is ignored: the writer then fails
    // quietly on its own.
    std::wstring full = path;
    while (!full.empty() && (full.back() == L'\\' || full.back() == L'/'))
        full.pop_back();
    for (size_t i = 0; i <= full.size(); ++i) {
        if (i == full.size() || full[i] == L'\\' || full[i] == L'/') {
            if (i > 0 && full[i - 1] != L':')
                ::CreateDirectoryW(full.substr(0, i).c_str(), nullptr);
        }
    }
}

std::wstring ReadName(const std::wstring& ini, const wchar_t* key)
{
    wchar_t buffer[255] = {};
    ::GetPrivateProfileStringW(L"config", key, L"", buffer, 255, ini.c_str());
    return buffer;
}

} // namespace

LogSettings& LogSettings::Instance()
{
    static LogSettings settings(L"c:\\VelstationLog\\" L"\\config.ini", ExecutableDirectory());
    g_instanceCreated.store(true);
    return settings;
}

bool LogSettings::Exists()
{
    return g_instanceCreated.load();
}

LogSettings::LogSettings(std::wstring switchFile, std::wstring exeDirectory)
    : m_switchFile(std::move(switchFile)), m_exeDirectory(std::move(exeDirectory))
{
    m_channels[1] = Channel{L"", 7, 1};
}

void LogSettings::Configure()
{
    const DWORD attributes = ::GetFileAttributesW(m_switchFile.c_str());
    const std::wstring logs = m_exeDirectory + L"\\Logs";
    const std::wstring names = m_exeDirectory + L"\\" L"Data\\Common\\LogConfig.ini";
    std::lock_guard<std::mutex> lock(m_mutex);
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const wchar_t* sw = m_switchFile.c_str();
        Channel& high = m_channels[1];
        high.LogToFile = static_cast<int32_t>(::GetPrivateProfileIntW(L"HighLogs", L"LogToFile", 0, sw));
        high.LogLevel = static_cast<int32_t>(::GetPrivateProfileIntW(L"HighLogs", L"LogLevel", 0, sw));
        Channel& normal = m_channels[0];
        normal.LogToFile = static_cast<int32_t>(::GetPrivateProfileIntW(L"NormalLogs", L"LogToFile", 0, sw));
        normal.LogLevel = static_cast<int32_t>(::GetPrivateProfileIntW(L"NormalLogs", L"LogLevel", 0, sw));
        CreateDirectories(logs);
        high.file = logs + L"\\" + ReadName(names, L"highName");
        normal.file = logs + L"\\" + ReadName(names, L"commonName");
    } else {
        CreateDirectories(logs + L"\\");
        m_channels[1].file = logs + L"\\" + ReadName(names, L"highName");
    }
    m_configured = true;
}

int LogSettings::decide()
{
    std::call_once(m_configureOnce, [this] { Configure(); });
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_channels.find(1);
    if (it == m_channels.end() || it->second.LogLevel <= 4)
        return 0;
    return it->second.LogToFile == 1 ? 2 : 1;
}

bool LogSettings::ChannelOf(int channel, Channel& out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_channels.find(channel);
    if (it == m_channels.end())
        return false;
    out = it->second;
    return true;
}

std::string formatLine(const std::string& message, const char* function, const char* sourcePath, int line, int level)
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char stamp[64];
    std::snprintf(stamp, sizeof(stamp), "%.4d-%.2d-%.2d %.2d-%.2d-%.2d-%.3d", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    std::string source = sourcePath ? sourcePath : "";
    for (char& c : source)
        if (c == '/')
            c = '\\';
    const size_t slash = source.find_last_of('\\');
    if (slash != std::string::npos)
        source.erase(0, slash + 1);
    const char* name = function ? function : "";
    const int size = std::snprintf(nullptr, 0, "[%s] >> [L%d] [%s] %s << (SID:%d)|%s(Line:%d)]\r\n", stamp, level,
                                   name, message.c_str(), static_cast<int>(::GetCurrentThreadId()), source.c_str(), line);
    if (size <= 0)
        return {};
    std::string text(static_cast<size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), "[%s] >> [L%d] [%s] %s << (SID:%d)|%s(Line:%d)]\r\n", stamp, level, name,
                  message.c_str(), static_cast<int>(::GetCurrentThreadId()), source.c_str(), line);
    text.resize(static_cast<size_t>(size));
    return text;
}

void write(const std::string& text)
{
    if (LogSettings::Exists() && !text.empty())
        LightLogger::WriteAsyncLog(ZrLogOrigin::Light, text, false);
}
