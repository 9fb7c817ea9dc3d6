// Runs the business core of a VelTray installation and prints what it
// delivers, as it arrives: the ball's six indices, the watched stocks'
// abnormal movements, case-stock pushes, the live schedule and the user's
// nickname; until Ctrl-C or the given number of seconds.
//   core-watch [INSTALL_DIR] [--seconds N]
#include "platform/Win32.h"

#include "business/ZrBusinessManager.h"
#include "business/ZrCommonData.h"
#include "business/ZrInfomationMgr.h"
#include "business/ZrLiveScheduleMgr.h"
#include "business/ZrQuotePriceMgr.h"
#include "business/ZrStockAbnormalMgr.h"
#include "business/ZrUserInfoMgr.h"
#include "platform/TextConv.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <ctime>
#include <string>

namespace {

DWORD g_mainThread = 0;

// UTF-8 bytes as they are: the console or the pipe behind stdout decides.
void Print(const std::wstring& line)
{
    const std::string bytes = WideToUtf8(line + L"\n");
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring Clock()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    wchar_t text[16];
    std::swprintf(text, 16, L"%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
    return text;
}

BOOL WINAPI OnConsoleEvent(DWORD)
{
    ::PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
    return TRUE;
}

void PrintQuotes(const QuoteBriefResponse& response)
{
    std::wstring line = Clock();
    for (const QuoteBriefItem& item : response.items) {
        const wchar_t* arrow = item.direction > 0 ? L"↑" : item.direction < 0 ? L"↓" : L" ";
        line += L"  " + item.name + L" " + item.priceText + L" " + arrow + item.changeText;
    }
    Print(line);
}

void PrintMovements(const StockABResponse& response)
{
    const wchar_t* kind = response.replay ? L"recent" : response.firstSnapshot ? L"snapshot" : L"new";
    for (const StockABItem& item : response.items)
        Print(Clock() + L"  [" + kind + L"] " + item.timeText + L" " + item.name + L" " + item.typeName + L" "
              + item.changeText + L"  " + item.text);
    if (response.items.empty() && response.firstSnapshot)
        Print(Clock() + L"  [snapshot] no movements yet");
}

void PrintCases(const InfomationResponse& response)
{
    for (const CaseItem& item : response.items)
        Print(Clock() + L"  [case" + (response.replay ? L", recent] " : L"] ") + item.timeText + L" " + item.tag
              + L" " + item.headline + L" | " + item.brief);
}

void PrintSchedule(const LiveScheduleResponse& response)
{
    if (!response.ok || !response.data) {
        Print(Clock() + L"  [live] no schedule: " + response.message);
        return;
    }
    for (const LiveDay& day : response.data->days) {
        if (!day.today)
            continue;
        Print(Clock() + L"  [live] today, " + std::to_wstring(day.programs.size()) + L" programs");
        for (const LiveProgram& program : day.programs)
            Print(L"           " + program.startTime + L"-" + program.endTime + L" " + program.statusText + L"  "
                  + program.programIntro + L" (" + program.authorName + L", " + program.roomName + L")");
    }
}

StockID Index(uint8_t market, const char* code)
{
    StockID id;
    id.market = market;
    std::strncpy(id.code, code, sizeof(id.code) - 1);
    return id;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring install;
    DWORD seconds = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--seconds") == 0 && i + 1 < argc)
            seconds = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        else
            install = argv[i];
    }
    g_mainThread = ::GetCurrentThreadId();
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);

    HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    std::atomic<HWND> slot{window};
    ZrBusinessManager manager;
    manager.SetBaseDirectory(install);
    manager.SetNotifyWindow(&slot);
    manager.Init();

    auto quotes = std::make_shared<QuoteBriefRequest>();
    quotes->receiverId = 1;
    quotes->context = 1;
    quotes->mode = kModeSubscribe;
    // The ball's indices: "1:000001,0:399001,0:399006,1:000688,1:000300,1:000016".
    for (const auto& [market, code] : {std::pair<uint8_t, const char*>{1, "000001"}, {0, "399001"}, {0, "399006"},
                                       {1, "000688"}, {1, "000300"}, {1, "000016"}})
        quotes->stocks.push_back(Index(market, code));
    manager.Request(quotes, false);

    auto movements = std::make_shared<StockABRequest>();
    movements->receiverId = 2;
    movements->context = 1;
    movements->mode = kModeSubscribe;
    manager.Request(movements, false);

    auto cases = std::make_shared<InfomationRequest>();
    cases->receiverId = 3;
    cases->context = 1;
    cases->mode = kModeSubscribe;
    cases->topic = ZrInfomationMgr::kCaseTopic;
    manager.Request(cases, false);

    auto schedule = std::make_shared<LiveScheduleRequest>();
    schedule->receiverId = 4;
    schedule->context = 1;
    manager.Request(schedule, false);

    // The start-up refresh of the user record runs on a worker; its answer
    // lands in the store.
    std::wstring nickname = manager.Data() ? manager.Data()->Nickname() : std::wstring();
    Print(Clock() + L"  [user] " + (nickname.empty() ? L"(none yet)" : nickname));
    ::SetTimer(nullptr, 0, 500, nullptr);
    const UINT_PTR deadline = seconds ? ::SetTimer(nullptr, 0, seconds * 1000, nullptr) : 0;

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && !msg.hwnd) {
            if (deadline && msg.wParam == deadline)
                break;
            const std::wstring now = manager.Data() ? manager.Data()->Nickname() : std::wstring();
            if (now != nickname)
                Print(Clock() + L"  [user] " + (nickname = now));
            continue;
        }
        if (msg.message != kResponseNotifyMessage) {
            ::DispatchMessageW(&msg);
            continue;
        }
        std::unique_ptr<ResponseEnvelope> envelope(reinterpret_cast<ResponseEnvelope*>(msg.lParam));
        if (auto quote = std::dynamic_pointer_cast<QuoteBriefResponse>(envelope->response))
            PrintQuotes(*quote);
        else if (auto moved = std::dynamic_pointer_cast<StockABResponse>(envelope->response))
            PrintMovements(*moved);
        else if (auto pushed = std::dynamic_pointer_cast<InfomationResponse>(envelope->response))
            PrintCases(*pushed);
        else if (auto live = std::dynamic_pointer_cast<LiveScheduleResponse>(envelope->response))
            PrintSchedule(*live);
    }

    manager.SetNotifyWindow(nullptr);
    manager.Uninit();
    // Responses posted before the window was withdrawn are still owned by
    // their envelopes.
    while (::PeekMessageW(&msg, window, kResponseNotifyMessage, kResponseNotifyMessage, PM_REMOVE))
        delete reinterpret_cast<ResponseEnvelope*>(msg.lParam);
    ::DestroyWindow(window);
    return 0;
}
