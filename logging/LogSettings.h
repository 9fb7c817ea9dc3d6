#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

enum class ZrLogOrigin : int32_t {
    Normal = 0,
    Light = 1,
};

// Where and whether log lines go: a switch file shared with VelStation and
// the channel file names of Data\Common\LogConfig.ini. One per process,
// created on first use; tests build their own with other paths.
class LogSettings {
public:
    struct Channel {
        std::wstring file;
        int32_t LogLevel = 0;
        int32_t LogToFile = 0;
    };

    static LogSettings& Instance();
    // Whether the process-wide settings were created yet.
    static bool Exists();

    LogSettings(std::wstring switchFile, std::wstring exeDirectory);

    // 0: not wanted; 1: format only; 2: format and write. Reads the
    // configuration at the first call.
    int decide();
    // The channel's settings after the configuration was read.
    bool ChannelOf(int channel, Channel& out);

private:
    void Configure();

    std::once_flag m_configureOnce;
    bool m_configured = false;
    std::wstring m_switchFile;
    std::wstring m_exeDirectory; // without a trailing separator
    std::mutex m_mutex;
    std::map<int, Channel> m_channels;
};

// The line "[time] >> [Llevel] [function] message << (SID:thread)|file(Line:n)]\r\n".
std::string formatLine(const std::string& message, const char* function, const char* sourcePath, int line, int level);
// Hands a formatted line to the log writer when the settings exist.
void write(const std::string& text);
