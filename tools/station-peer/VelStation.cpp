// VelStation stand-in: the station side of the link, for tests and demos.
// It publishes itself in the station slots, shows a main window (so that
// activation can find and raise it), records every command and state
// notification it receives, and sends commands when told.
//
//   VelStation.exe [--log FILE] [--control FILE] [--send CMD[,WORD[,WORD]]]...
//
// Log lines (UTF-8, one per event, to the log file and stdout):
//   start pid=<pid>
//   state <kind>
//   recv 1 activate | recv 2 tray-exit
//   recv 5 jump keylen=<n> urllen=<n> key=<key> url=<url>
//   recv <cmd> len=<n> fnv=<8 hex digits>
//   sent <cmd> ok|failed
//   exit
// The control file (default VelStation.ctl beside the executable) is read,
// deleted and executed every 100 ms; write it elsewhere and rename it into
// place. Its lines:
//   send CMD [WORD [WORD]]   a command with up to two 32-bit words
//   sendbytes CMD COUNT      COUNT pattern bytes (over 1024 go through a spill file)
//   exit                     end normally (withdraws the station slots)
//   die                      end at once without withdrawing anything
#include "platform/Win32.h"

#include "platform/TextConv.h"
#include "stationlink/StationIpcChannel.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr UINT_PTR kTickTimer = 1;
constexpr DWORD kSendTimeoutMs = 3000;
constexpr wchar_t kMainClass[] = L"VelStationStandInMain";

struct Order {
    int32_t command = 0;
    std::vector<uint8_t> payload;
};

StationIpcChannel g_link;
std::wstring g_logPath;
std::wstring g_controlPath;
std::deque<Order> g_pending; // from the command line: sent once a peer is there
HWND g_main = nullptr;

std::wstring ModuleDir()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir = path;
    return dir.substr(0, dir.find_last_of(L'\\'));
}

void Log(const std::string& line)
{
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    HANDLE file = ::CreateFileW(g_logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
}

uint32_t Fnv1a(const uint8_t* data, size_t size)
{
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 16777619u;
    }
    return hash;
}

void OnData(void*, int32_t command, const void* data, int32_t length)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    char line[160];
    if (command == kIpcCmdActivate) {
        Log("recv 1 activate");
        if (g_main) {
            ::ShowWindow(g_main, SW_RESTORE);
            ::SetForegroundWindow(g_main);
        }
        return;
    }
    if (command == kIpcCmdTrayExit) {
        Log("recv 2 tray-exit");
        return;
    }
    if (command == kIpcCmdJump && bytes && length == 1024) {
        const char* key = reinterpret_cast<const char*>(bytes);
        const char* url = key + 64;
        const size_t keyLength = strnlen(key, 64);
        const size_t urlLength = strnlen(url, 960);
        std::snprintf(line, sizeof(line), "recv 5 jump keylen=%zu urllen=%zu key=", keyLength, urlLength);
        Log(line + std::string(key, keyLength) + " url=" + std::string(url, urlLength));
        return;
    }
    std::snprintf(line, sizeof(line), "recv %d len=%d fnv=%08x", static_cast<int>(command), static_cast<int>(length),
                  static_cast<unsigned>(Fnv1a(bytes, bytes ? static_cast<size_t>(length) : 0)));
    Log(line);
}

void OnState(void*, int32_t kind)
{
    Log("state " + std::to_string(kind));
}

bool SendOrder(const Order& order)
{
    const bool ok = g_link.Send(order.command, order.payload.empty() ? nullptr : order.payload.data(),
                                static_cast<int32_t>(order.payload.size()), kSendTimeoutMs);
    Log("sent " + std::to_string(order.command) + (ok ? " ok" : " failed"));
    return ok;
}

Order WordsOrder(int32_t command, const std::vector<int32_t>& words)
{
    Order order;
    order.command = command;
    order.payload.resize(words.size() * 4);
    if (!words.empty())
        std::memcpy(order.payload.data(), words.data(), order.payload.size());
    return order;
}

// Parses "CMD[,WORD[,WORD]]".
bool ParseSendArgument(const std::wstring& text, Order& order)
{
    std::vector<int32_t> numbers;
    std::wstringstream stream(text);
    std::wstring part;
    while (std::getline(stream, part, L',')) {
        if (part.empty())
            return false;
        numbers.push_back(static_cast<int32_t>(std::wcstol(part.c_str(), nullptr, 10)));
    }
    if (numbers.empty() || numbers.size() > 3)
        return false;
    order = WordsOrder(numbers[0], std::vector<int32_t>(numbers.begin() + 1, numbers.end()));
    return true;
}

void ExecuteControlLine(const std::string& text)
{
    std::istringstream stream(text);
    std::string verb;
    stream >> verb;
    if (verb == "send") {
        int32_t command = 0;
        if (!(stream >> command))
            return;
        std::vector<int32_t> words;
        int32_t word;
        while (words.size() < 2 && stream >> word)
            words.push_back(word);
        SendOrder(WordsOrder(command, words));
    } else if (verb == "sendbytes") {
        int32_t command = 0;
        long count = 0;
        if (!(stream >> command >> count) || count < 0 || count > 8 * 1024 * 1024)
            return;
        Order order;
        order.command = command;
        order.payload.resize(static_cast<size_t>(count));
        for (size_t i = 0; i < order.payload.size(); ++i)
            order.payload[i] = static_cast<uint8_t>(i * 31 + 7);
        SendOrder(order);
    } else if (verb == "exit") {
        if (g_main)
            ::DestroyWindow(g_main);
    } else if (verb == "die") {
        Log("die");
        ::ExitProcess(3);
    }
}

void PollControlFile()
{
    HANDLE file = ::CreateFileW(g_controlPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (content.size() < 65536 && ::ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        content.append(buffer, read);
    ::CloseHandle(file);
    ::DeleteFileW(g_controlPath.c_str());
    std::istringstream lines(content);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            ExecuteControlLine(line);
    }
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        if (wParam == kTickTimer) {
            while (!g_pending.empty() && g_link.IsPeerAlive()) {
                if (!SendOrder(g_pending.front()))
                    break;
                g_pending.pop_front();
            }
            PollControlFile();
        }
        return 0;
    case WM_DESTROY:
        ::KillTimer(hwnd, kTickTimer);
        g_main = nullptr;
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    const std::wstring dir = ModuleDir();
    g_logPath = dir + L"\\VelStation.log";
    g_controlPath = dir + L"\\VelStation.ctl";

    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    for (int i = 1; argv && i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == L"--log" && hasValue) {
            g_logPath = argv[++i];
        } else if (arg == L"--control" && hasValue) {
            g_controlPath = argv[++i];
        } else if (arg == L"--send" && hasValue) {
            Order order;
            if (ParseSendArgument(argv[++i], order))
                g_pending.push_back(order);
        }
    }
    ::LocalFree(argv);

    WNDCLASSEXW wc{sizeof(wc)};
    wc.lpfnWndProc = &MainProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kMainClass;
    ::RegisterClassExW(&wc);
    g_main = ::CreateWindowExW(0, kMainClass, L"VelStation (stand-in)", WS_OVERLAPPEDWINDOW, 100, 100, 640, 400,
                               nullptr, nullptr, instance, nullptr);
    if (!g_main) {
        Log("start failed: main window");
        return 1;
    }
    ::ShowWindow(g_main, SW_SHOWNORMAL);

    if (!g_link.StartAs(kIpcRoleStation, &OnData, &OnState, nullptr)) {
        Log("start failed: link");
        return 1;
    }
    Log("start pid=" + std::to_string(::GetCurrentProcessId()));
    ::SetTimer(g_main, kTickTimer, 100, nullptr);

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    g_link.Stop();
    Log("exit");
    return 0;
}
