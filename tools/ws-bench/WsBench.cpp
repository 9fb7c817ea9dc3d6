// Measures WebSocketClient against the sandbox's /ws/test echo endpoint:
// echo round trips (SendText on this thread, the echo delivered on the Run
// thread) and how long Run takes to return after DisConnect from another
// thread while it waits on an idle connection.
//   ws-bench.exe PORT [ROUNDS]        (PORT: the sandbox's "port")
#include "platform/Win32.h"

#include "net/WebSocketClient.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class Echoes : public IWebSocket {
public:
    void OnConnectStatus(void*, WebSocketStatus) override {}
    void OnTextMessage(void*, const char*, size_t) override
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            ++m_count;
        }
        m_cv.notify_all();
    }
    bool OnOtherMessage(void*, const char*, size_t) override { return false; }
    void OnAlive(void*, const char*, size_t) override {}

    bool WaitCount(int count)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_count >= count; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    int m_count = 0;
};

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void Report(const char* what, std::vector<double> ms)
{
    if (ms.empty())
        return;
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<size_t>(q * ms.size()))]; };
    std::printf("%-28s n=%zu  p50 %.2f ms  p99 %.2f ms  max %.2f ms\n", what, ms.size(), at(0.5), at(0.99),
                ms.back());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: ws-bench PORT [ROUNDS]\n");
        return 2;
    }
    const std::string url = std::string("ws://127.0.0.1:") + argv[1] + "/ws/test";
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 500;
    if (!WebSocketClient::InitializeClient())
        return 1;

    std::vector<double> echo;
    {
        Echoes events;
        WebSocketClient client(&events, nullptr);
        if (!client.Connect(url, {}, 100000)) {
            std::fprintf(stderr, "connect to %s failed\n", url.c_str());
            return 1;
        }
        std::thread runner([&] { client.Run(); });
        const std::string text(200, 'q');
        for (int i = 1; i <= rounds; ++i) {
            const auto start = Clock::now();
            if (!client.SendText(text) || !events.WaitCount(i)) {
                std::fprintf(stderr, "echo %d lost\n", i);
                break;
            }
            echo.push_back(Ms(Clock::now() - start));
        }
        client.DisConnect();
        runner.join();
    }
    Report("echo round trip (200 B)", echo);

    std::vector<double> stop;
    for (int i = 0; i < std::min(rounds, 50); ++i) {
        Echoes events;
        WebSocketClient client(&events, nullptr);
        if (!client.Connect(url, {}, 100000))
            return 1;
        std::thread runner([&] { client.Run(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let Run settle into its wait
        const auto start = Clock::now();
        std::thread([&] { client.DisConnect(); }).join();
        runner.join();
        stop.push_back(Ms(Clock::now() - start));
    }
    Report("DisConnect -> Run returns", stop);
    return 0;
}
