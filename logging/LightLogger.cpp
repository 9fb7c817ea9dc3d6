#include "platform/Win32.h"
#include "logging/LightLogger.h"

#include "platform/ScopedWin.h"

#include <condition_variable>
#include <deque>
#include <thread>

namespace {

// A line that cannot be queued is dropped rather than making the caller wait.
constexpr size_t kMaxQueuedLines = 10000;

class Writer {
public:
    ~Writer()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void Queue(std::wstring path, std::string text)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping || m_lines.size() >= kMaxQueuedLines)
            return;
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { Run(); });
            } catch (...) {
                return;
            }
        }
        m_lines.emplace_back(std::move(path), std::move(text));
        ++m_queued;
        m_wake.notify_all();
    }

    void Flush()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const uint64_t target = m_queued;
        m_done.wait(lock, [&] { return m_written >= target || !m_thread.joinable(); });
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stopping || !m_lines.empty(); });
            if (m_lines.empty())
                return; // stopping, everything written
            auto line = std::move(m_lines.front());
            m_lines.pop_front();
            lock.unlock();
            Append(line.first, line.second);
            lock.lock();
            ++m_written;
            m_done.notify_all();
        }
    }

    static void Append(const std::wstring& path, const std::string& text)
    {
        ScopedHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return;
        DWORD written = 0;
        ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<std::pair<std::wstring, std::string>> m_lines;
    uint64_t m_queued = 0;
    uint64_t m_written = 0;
    bool m_stopping = false;
    std::thread m_thread;
};

Writer& TheWriter()
{
    static Writer writer;
    return writer;
}

} // namespace

namespace LightLogger {

void WriteAsyncLog(ZrLogOrigin origin, const std::string& text, bool flag)
{
    try {
        LogSettings::Channel channel;
        const int number = origin == ZrLogOrigin::Light ? 1 : 0;
        if (text.empty() || !LogSettings::Instance().ChannelOf(number, channel))
            return;
        std::wstring path = channel.file;
        // A channel without a configured name still gets a file in its folder.
        if (path.empty() || path.back() == L'\\' || path.back() == L'/')
            path += L"VelTray.log";
        TheWriter().Queue(std::move(path), text);
    } catch (...) {
    }
}

void Flush()
{
    TheWriter().Flush();
}

} // namespace LightLogger
