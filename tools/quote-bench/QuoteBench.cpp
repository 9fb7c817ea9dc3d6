// The quote path inside one process: answer frames handed to the quote
// channel as its WebSocket thread would, through the quote manager's callback
// and PostResponse, to delivery on a UI thread's message loop. Reports frames
// per second and the latency from a frame's arrival to its delivery.
//   quote-bench [FRAMES]
#include "platform/Win32.h"

#include "business/ZrBusinessManager.h"
#include "business/ZrCommonData.h"
#include "business/ZrQuotePriceMgr.h"
#include "platform/ScopedWin.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

LARGE_INTEGER g_frequency;

int64_t Now()
{
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double Microseconds(int64_t ticks)
{
    return static_cast<double>(ticks) * 1e6 / static_cast<double>(g_frequency.QuadPart);
}

// A six-index answer as the service sends it, with moving prices.
std::string Frame(int64_t no, int variant)
{
    static const struct {
        int market;
        const char* code;
        const char* name;
        int close;
    } indices[] = {{1, "000001", "上证指数", 330215}, {0, "399001", "深证成指", 1051238},
                   {0, "399006", "创业板指", 210874}, {1, "000688", "科创50", 101256},
                   {1, "000300", "沪深300", 390421}, {1, "000016", "上证50", 269847}};
    std::string data;
    for (const auto& index : indices) {
        const int price = index.close + (variant * 37 + index.close) % 900 - 450;
        char element[320];
        std::snprintf(element, sizeof(element),
                      "%s{\"base\":{\"marketid\":%d,\"code\":\"%s\",\"oldmarketcode\":\"%s%s\",\"status\":0,"
                      "\"name\":\"%s\",\"precise\":2},\"newprice\":\"%d\",\"yclose\":\"%d\"}",
                      data.empty() ? "" : ",", index.market, index.code, index.market ? "SH" : "SZ", index.code,
                      index.name, price, index.close);
        data += element;
    }
    return "{\"Header\":{\"FrameId\":0,\"GroupId\":0,\"ModelId\":0,\"Length\":0,\"RawLength\":0,\"No\":"
           + std::to_string(no) + ",\"MsgType\":2001,\"Info\":0},\"Body\":{\"data\":[" + data + "]}}";
}

struct Run {
    const wchar_t* title;
    size_t frames;
    double pacedPerSecond; // 0: as fast as the window of frames in flight allows
    // Skips the channel and the manager: a prepared response is posted per
    // frame, which shows what the delivery alone costs.
    bool deliveryOnly = false;
};

// Feeds frames from a second thread and delivers on this one.
void Measure(ZrBusinessManager& manager, HWND window, int64_t serial, const Run& run)
{
    constexpr size_t kVariants = 64;
    constexpr size_t kInFlight = 256; // far below the message queue's limit
    std::vector<std::string> frames;
    for (size_t i = 0; i < kVariants; ++i)
        frames.push_back(Frame(serial, static_cast<int>(i)));

    std::vector<int64_t> arrival(run.frames), latency(run.frames);
    std::atomic<size_t> delivered{0};
    QuoteCore* channel = manager.QuoteChannel();
    auto prepared = std::make_shared<QuoteBriefResponse>();
    const int64_t start = Now();
    // The feeder sleeps instead of spinning: on two cores a spinning thread
    // would take the CPU that the UI thread and the wineserver need.
    ScopedHandle room(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    std::atomic<bool> feederWaits{false};
    std::thread feeder([&] {
        const double ticksPerFrame =
            run.pacedPerSecond > 0 ? static_cast<double>(g_frequency.QuadPart) / run.pacedPerSecond : 0;
        for (size_t i = 0; i < run.frames; ++i) {
            if (ticksPerFrame > 0) {
                const int64_t due = start + static_cast<int64_t>(ticksPerFrame * static_cast<double>(i));
                // Sleep while well ahead; frames due within a tick go out together.
                while (Now() < due) {
                    if (Microseconds(due - Now()) > 2000)
                        ::Sleep(1);
                    else
                        std::this_thread::yield();
                }
            }
            while (i - delivered.load() >= kInFlight) {
                feederWaits = true;
                if (i - delivered.load() >= kInFlight)
                    ::WaitForSingleObject(room.Get(), 50);
                feederWaits = false;
            }
            const std::string& text = frames[i % kVariants];
            arrival[i] = Now();
            if (run.deliveryOnly)
                manager.PostResponse(prepared);
            else
                channel->OnTextMessage(nullptr, text.data(), text.size());
        }
    });

    size_t received = 0;
    size_t items = 0;
    MSG msg;
    while (received < run.frames && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message != kResponseNotifyMessage) {
            ::DispatchMessageW(&msg);
            continue;
        }
        const int64_t at = Now();
        std::unique_ptr<ResponseEnvelope> envelope(reinterpret_cast<ResponseEnvelope*>(msg.lParam));
        if (auto quote = std::dynamic_pointer_cast<QuoteBriefResponse>(envelope->response))
            items += quote->items.size();
        // Posted messages arrive in the order they were posted.
        latency[received] = at - arrival[received];
        delivered = ++received;
        if (feederWaits && received % (kInFlight / 4) == 0)
            ::SetEvent(room.Get());
    }
    const int64_t elapsed = Now() - start;
    feeder.join();

    std::sort(latency.begin(), latency.end());
    const auto percentile = [&](double p) {
        return Microseconds(latency[std::min(run.frames - 1, static_cast<size_t>(p * static_cast<double>(run.frames)))]);
    };
    std::wprintf(L"%-34ls %8zu frames  %9.0f frames/s  latency p50 %7.1f us  p99 %7.1f us  max %8.1f us  (%zu items)\n",
                 run.title, run.frames, static_cast<double>(run.frames) * 1e6 / Microseconds(elapsed), percentile(0.50),
                 percentile(0.99), Microseconds(latency.back()), items);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    ::QueryPerformanceFrequency(&g_frequency);
    const size_t frames = argc > 1 ? std::wcstoul(argv[1], nullptr, 10) : 100000;

    // An installation without a quote address: the channel never connects,
    // so the frames below are the only ones.
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring base = std::wstring(temp) + L"quote-bench";
    ::CreateDirectoryW(base.c_str(), nullptr);

    HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    std::atomic<HWND> slot{window};
    ZrBusinessManager manager;
    manager.SetBaseDirectory(base);
    manager.SetNotifyWindow(&slot);
    manager.Init();

    auto request = std::make_shared<QuoteBriefRequest>();
    request->receiverId = 1;
    request->context = 1;
    request->mode = kModeSubscribe;
    manager.Request(request, true);
    // The subscription took the last serial handed out.
    const int64_t serial = manager.Data()->NextSerial() - 1;

    {
        // The channel and the manager alone: no window takes the responses.
        manager.SetNotifyWindow(nullptr);
        const std::string text = Frame(serial, 1);
        const int64_t begin = Now();
        for (size_t i = 0; i < frames; ++i)
            manager.QuoteChannel()->OnTextMessage(nullptr, text.data(), text.size());
        std::wprintf(L"%-34ls %8zu frames  %9.0f frames/s\n", L"parse and build, no delivery", frames,
                     static_cast<double>(frames) * 1e6 / Microseconds(Now() - begin));
        manager.SetNotifyWindow(&slot);
    }
    Measure(manager, window, serial, {L"delivery only (256 in flight)", frames, 0, true});
    Measure(manager, window, serial, {L"saturated (256 in flight)", frames, 0});
    Measure(manager, window, serial, {L"paced 1000 frames/s", std::max<size_t>(frames / 20, 1000), 1000});
    Measure(manager, window, serial, {L"paced 10000 frames/s", std::max<size_t>(frames / 4, 1000), 10000});

    manager.SetNotifyWindow(nullptr);
    manager.Uninit();
    ::DestroyWindow(window);
    return 0;
}
