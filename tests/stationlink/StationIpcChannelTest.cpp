#include "platform/Win32.h"

#include "platform/TextConv.h"
#include "stationlink/StationIpcChannel.h"
#include "tests/stationlink/LinkTestSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

using namespace std::chrono_literals;

namespace {

uint32_t Slot(HWND hwnd)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hwnd));
}

// Both sides in this process: the tray (A) sends, the station (B) receives.
// Sends to a window of the same thread are direct calls, so every delivery
// has happened when Send returns.
class InProcessLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tray.Start(&LinkRecorder::OnData, &LinkRecorder::OnState, &trayRecorder));
        ASSERT_TRUE(station.StartAs(kIpcRoleStation, &LinkRecorder::OnData, &LinkRecorder::OnState, &stationRecorder));
    }

    LRESULT Deliver(const void* packet, DWORD size, HWND target = nullptr)
    {
        COPYDATASTRUCT copy{0, size, const_cast<void*>(packet)};
        return ::SendMessageW(target ? target : station.ReceiveWindow(), WM_COPYDATA,
                              reinterpret_cast<WPARAM>(tray.ReceiveWindow()), reinterpret_cast<LPARAM>(&copy));
    }

    static IpcPacket MakePacket(int32_t command, int32_t mode, const std::string& payload)
    {
        IpcPacket packet{};
        packet.signature = kIpcSignature;
        packet.command = command;
        packet.mode = mode;
        packet.length = static_cast<int32_t>(payload.size());
        std::memcpy(packet.payload, payload.data(), std::min<size_t>(payload.size(), kIpcPayloadSize));
        return packet;
    }

    LinkRecorder trayRecorder;
    LinkRecorder stationRecorder;
    StationIpcChannel tray;
    StationIpcChannel station;
};

} // namespace

TEST(StationIpcChannel, StartResetsABlockWithForeignSignatureOrVersion)
{
    struct Case {
        const char* name;
        uint32_t signature;
        uint32_t version;
    };
    const Case cases[] = {{"zero-filled", 0, 0}, {"other signature", 0x12345678, 1}, {"other version", kIpcSignature, 2}};
    for (const Case& c : cases) {
        BlockView block;
        ASSERT_NE(block.Get(), nullptr);
        std::memset(block.Get(), 0, sizeof(IpcStateBlock));
        block->signature = c.signature;
        block->version = c.version;
        block->stationWindow = 0x888;
        block->reserved[5] = 0x55;

        StationIpcChannel tray;
        ASSERT_TRUE(tray.Start(nullptr, nullptr, nullptr)) << c.name;
        EXPECT_EQ(block->signature, kIpcSignature) << c.name;
        EXPECT_EQ(block->version, 1u) << c.name;
        EXPECT_EQ(block->sequence, 2u) << c.name << ": 1 at the reset, 2 after publishing";
        EXPECT_EQ(block->size, 68u) << c.name;
        EXPECT_EQ(block->trayWindow, Slot(tray.ReceiveWindow())) << c.name;
        EXPECT_EQ(block->trayProcess, ::GetCurrentProcessId()) << c.name;
        EXPECT_EQ(block->stationWindow, 0u) << c.name << ": the station's slots are lost";
        EXPECT_EQ(block->reserved[5], 0) << c.name;
        tray.Stop();
    }
}

TEST(StationIpcChannel, StartClearsStaleTraySlotsAndKeepsTheRest)
{
    BlockView block;
    std::memset(block.Get(), 0, sizeof(IpcStateBlock));
    block->signature = kIpcSignature;
    block->version = 1;
    block->sequence = 10;
    block->size = 68;
    block->trayWindow = 0x777;
    block->trayProcess = 0x7ffffff0; // a VelTray that ended without Stop
    block->stationWindow = 0x888;
    for (int i = 0; i < 36; ++i)
        block->reserved[i] = static_cast<uint8_t>(i + 1);

    StationIpcChannel tray;
    ASSERT_TRUE(tray.Start(nullptr, nullptr, nullptr));
    EXPECT_EQ(block->sequence, 12u) << "clearing and publishing each count once";
    EXPECT_EQ(block->trayWindow, Slot(tray.ReceiveWindow()));
    EXPECT_EQ(block->trayProcess, ::GetCurrentProcessId());
    EXPECT_EQ(block->stationWindow, 0x888u);
    for (int i = 0; i < 36; ++i)
        EXPECT_EQ(block->reserved[i], i + 1) << "reserved byte " << i;
}

TEST(StationIpcChannel, StopWithdrawsOnlyItsOwnSlotsAndSignalsNothing)
{
    BlockView block;
    StationIpcChannel tray;
    ASSERT_TRUE(tray.Start(nullptr, nullptr, nullptr));
    block->stationWindow = 0x888;
    block->stationProcess = 0; // no peer to watch
    const uint32_t sequence = block->sequence;

    ScopedHandle changed(::OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, L"Local\\VelStation.Ipc.Changed.v1"));
    ASSERT_TRUE(changed);
    ::ResetEvent(changed.Get());
    tray.Stop();
    EXPECT_EQ(::WaitForSingleObject(changed.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(block->trayWindow, 0u);
    EXPECT_EQ(block->trayProcess, 0u);
    EXPECT_EQ(block->stationWindow, 0x888u);
    EXPECT_EQ(block->sequence, sequence);
    EXPECT_FALSE(tray.IsStarted());
    tray.Stop(); // harmless twice
}

TEST(StationIpcChannel, SingleInstanceAndRestart)
{
    StationIpcChannel first;
    ASSERT_TRUE(first.Start(nullptr, nullptr, nullptr));
    EXPECT_FALSE(first.Start(nullptr, nullptr, nullptr)) << "already started";
    StationIpcChannel second;
    EXPECT_FALSE(second.Start(nullptr, nullptr, nullptr)) << "the instance mutex is taken";
    IpcStateBlock copy;
    ASSERT_TRUE(first.ReadBlock(copy));
    EXPECT_EQ(copy.trayWindow, Slot(first.ReceiveWindow())) << "the failed start left the first untouched";
    first.Stop();
    EXPECT_TRUE(second.Start(nullptr, nullptr, nullptr)) << "free again after Stop";
}

TEST_F(InProcessLink, InlineUpTo1024SpillFileAbove)
{
    for (size_t size : {size_t(0), size_t(1), size_t(1024), size_t(1025), size_t(70000)}) {
        stationRecorder.packets.clear();
        const std::vector<uint8_t> data = PatternBytes(size);
        ASSERT_TRUE(tray.Send(77, data.empty() ? nullptr : data.data(), static_cast<int32_t>(size), 1000)) << size;
        ASSERT_EQ(stationRecorder.packets.size(), 1u) << size;
        EXPECT_EQ(stationRecorder.packets[0].command, 77) << size;
        EXPECT_EQ(stationRecorder.packets[0].data, data) << size;
        EXPECT_EQ(stationRecorder.packets[0].hadData, size > 0) << size;
    }
    // The receiver deleted every spill file.
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((std::wstring(tray.SpillFolder()) + L"\\ipc_*").c_str(), &found);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE);
    if (find != INVALID_HANDLE_VALUE)
        ::FindClose(find);
    // Back the other way as well.
    const std::vector<uint8_t> data = PatternBytes(5000, 3);
    ASSERT_TRUE(station.Send(78, data.data(), 5000, 1000));
    ASSERT_EQ(trayRecorder.packets.size(), 1u);
    EXPECT_EQ(trayRecorder.packets[0].data, data);
}

TEST(StationIpcChannel, SpillFileIsNamedAfterTheSenderAndLeftToTheReceiver)
{
    StationIpcChannel tray;
    StationIpcChannel station;
    ASSERT_TRUE(tray.Start(nullptr, nullptr, nullptr));
    // Without a data callback the receiver accepts the packet and leaves the file.
    ASSERT_TRUE(station.StartAs(kIpcRoleStation, nullptr, nullptr, nullptr));
    ASSERT_NE(tray.SpillFolder()[0], L'\0');
    EXPECT_NE(std::wstring(tray.SpillFolder()).find(L"\\Data\\traymsg"), std::wstring::npos);
    const std::vector<uint8_t> data = PatternBytes(1025);
    ASSERT_TRUE(tray.Send(77, data.data(), 1025, 1000));

    WIN32_FIND_DATAW found;
    const std::wstring prefix = L"ipc_" + std::to_wstring(::GetCurrentProcessId()) + L"_";
    HANDLE find = ::FindFirstFileW((std::wstring(tray.SpillFolder()) + L"\\" + prefix + L"*.tmp").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    ::FindClose(find);
    const std::wstring name = found.cFileName;
    EXPECT_TRUE(IsAcceptableSpillPath(L"C:\\x\\" + name)) << WideToUtf8(name);
    const std::string content = ReadTextFile(std::wstring(tray.SpillFolder()) + L"\\" + name);
    EXPECT_EQ(std::vector<uint8_t>(content.begin(), content.end()), data);

    // The next start empties the folder.
    const std::wstring folder = tray.SpillFolder();
    tray.Stop();
    ASSERT_TRUE(tray.Start(nullptr, nullptr, nullptr));
    EXPECT_FALSE(FileExists(folder + L"\\" + name));
}

TEST_F(InProcessLink, SendRefusesBadArgumentsAndAnAbsentPeer)
{
    const uint8_t byte = 1;
    EXPECT_FALSE(tray.Send(77, nullptr, 4, 1000)) << "length without data";
    EXPECT_FALSE(tray.Send(77, &byte, -1, 1000));
    EXPECT_FALSE(tray.SendPacket(77, kIpcModeInline, &byte, 1025, 1000)) << "one packet holds 1024";
    StationIpcChannel idle;
    EXPECT_FALSE(idle.Send(77, &byte, 1, 1000)) << "not started";
    station.Stop();
    EXPECT_FALSE(tray.Send(77, &byte, 1, 1000)) << "no station published";
    EXPECT_FALSE(tray.IsPeerAlive());
}

TEST_F(InProcessLink, MalformedPacketsAreRefusedWithZero)
{
    struct Case {
        const char* name;
        DWORD size;
        uint32_t signature;
        int32_t mode;
        int32_t length;
        LRESULT result;
    };
    const Case cases[] = {
        {"well formed", 1040, kIpcSignature, 1, 4, 1},
        {"mode 0 is inline", 1040, kIpcSignature, 0, 4, 1},
        {"cbData 1039", 1039, kIpcSignature, 1, 4, 0},
        {"cbData 1041", 1041, kIpcSignature, 1, 4, 0},
        {"wrong signature", 1040, 0x5049725a, 1, 4, 0},
        {"length 1025", 1040, kIpcSignature, 1, 1025, 0},
        {"negative length", 1040, kIpcSignature, 1, -1, 0},
        {"mode 3", 1040, kIpcSignature, 3, 4, 0},
        {"negative mode", 1040, kIpcSignature, -1, 4, 0},
    };
    std::vector<uint8_t> raw(1100, 0);
    for (const Case& c : cases) {
        stationRecorder.packets.clear();
        IpcPacket packet = MakePacket(42, c.mode, "abcd");
        packet.signature = c.signature;
        packet.length = c.length;
        std::memcpy(raw.data(), &packet, sizeof(packet));
        EXPECT_EQ(Deliver(raw.data(), c.size), c.result) << c.name;
        EXPECT_EQ(stationRecorder.packets.size(), static_cast<size_t>(c.result)) << c.name;
    }
    COPYDATASTRUCT noData{0, 1040, nullptr};
    EXPECT_EQ(::SendMessageW(station.ReceiveWindow(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&noData)), 0);
}

TEST_F(InProcessLink, SpillPathsThatAreNotSpillFilesAreDroppedUntouched)
{
    TempDir dir;
    const std::wstring victim = dir.Join(L"victim.txt");
    const std::wstring folderNamedLikeSpill = dir.Join(L"ipc_1_1.tmp");
    ASSERT_TRUE(::CreateDirectoryW(folderNamedLikeSpill.c_str(), nullptr));
    HANDLE file = ::CreateFileW(victim.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::CloseHandle(file);

    const std::wstring paths[] = {
        victim,                                  // not a spill file: must survive
        dir.Path(),                              // a directory
        folderNamedLikeSpill,                    // a directory with a spill file's name
        dir.Join(L"ipc_2_2.tmp"),                // missing
        L"\\\\.\\NUL",                           // devices
        L"CON",
        L"C:\\ipc_1_1.tmp\\..\\CON",
        L"\\\\.\\pipe\\ipc_1_1.tmp",
        L"\\\\unreachable-host\\share\\ipc_1_1.tmp", // would block the UI thread
        dir.Join(L"ipc_3_3.tmp:stream"),
        dir.Join(std::wstring(300, L'a') + L"\\ipc_4_4.tmp"), // cut to 259 characters
    };
    for (const std::wstring& path : paths) {
        stationRecorder.packets.clear();
        const std::string utf8 = WideToUtf8(path);
        IpcPacket packet = MakePacket(43, kIpcModeSpill, std::string(utf8.c_str(), utf8.size() + 1));
        if (utf8.size() + 1 > kIpcPayloadSize)
            packet.length = kIpcPayloadSize;
        EXPECT_EQ(Deliver(&packet, sizeof(packet)), 1) << WideToUtf8(path);
        EXPECT_TRUE(stationRecorder.packets.empty()) << WideToUtf8(path);
    }
    EXPECT_TRUE(FileExists(victim));
    EXPECT_TRUE(DirectoryExists(folderNamedLikeSpill));

    // A spill payload without a terminator inside its length, or empty text.
    IpcPacket unterminated = MakePacket(44, kIpcModeSpill, std::string(1024, 'x'));
    EXPECT_EQ(Deliver(&unterminated, sizeof(unterminated)), 1);
    IpcPacket empty = MakePacket(45, kIpcModeSpill, std::string(1, '\0'));
    EXPECT_EQ(Deliver(&empty, sizeof(empty)), 1);
    EXPECT_TRUE(stationRecorder.packets.empty());
    // Mode 2 with length 0 carries no path: delivered like an empty inline packet.
    IpcPacket none = MakePacket(46, kIpcModeSpill, "");
    EXPECT_EQ(Deliver(&none, sizeof(none)), 1);
    ASSERT_EQ(stationRecorder.packets.size(), 1u);
    EXPECT_FALSE(stationRecorder.packets[0].hadData);
}

TEST(IsAcceptableSpillPath, Shapes)
{
    struct Case {
        const wchar_t* path;
        bool ok;
    };
    const Case cases[] = {
        {L"C:\\Data\\traymsg\\ipc_123_1.tmp", true},
        {L"z:\\x\\IPC_1_22.TMP", true},
        {L"C:\\x\\ipc_1_1.TMP", true},
        {L"C:\\x\\ipc__1.tmp", false},
        {L"C:\\x\\ipc_1_.tmp", false},
        {L"C:\\x\\ipc_1_-1.tmp", false},
        {L"C:\\x\\ipc_a_1.tmp", false},
        {L"C:\\x\\ipc_1_1.tmp.exe", false},
        {L"\\\\?\\C:\\x\\ipc_1_1.tmp", false},
        {L"C:/x/ipc_1_1.tmp", false},
        {L"ipc_1_1.tmp", false},
        {L"C:ipc_1_1.tmp", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsAcceptableSpillPath(c.path), c.ok) << WideToUtf8(c.path);
}

// Thousands of random, truncated and almost-right packets straight at the
// receive window: nothing crashes or hangs, a refused packet never reaches
// the callback, an accepted inline one always does.
TEST_F(InProcessLink, FuzzedPacketsNeverReachTheCallbackWhenRefused)
{
    TempDir dir;
    const std::wstring spillLike = dir.Join(L"ipc_9_9.tmp");
    ASSERT_TRUE(::CreateDirectoryW(spillLike.c_str(), nullptr));
    const std::wstring paths[] = {dir.Path(), spillLike, dir.Join(L"ipc_8_8.tmp"), L"\\\\.\\NUL", L"COM1",
                                  L"\\\\.\\pipe\\ipc_1_1.tmp", L"C:\\windows\\win.ini"};
    std::mt19937 random(20261210);
    std::vector<uint8_t> raw(2100);
    size_t expectedCallbacks = 0;
    for (int round = 0; round < 4000; ++round) {
        for (auto& byte : raw)
            byte = static_cast<uint8_t>(random());
        IpcPacket packet;
        std::memcpy(&packet, raw.data(), sizeof(packet));
        // Most rounds get a nearly valid header so the deeper checks are hit.
        const int shape = static_cast<int>(random() % 8);
        if (shape > 0)
            packet.signature = kIpcSignature;
        if (shape > 1)
            packet.mode = static_cast<int32_t>(random() % 5) - 1;
        if (shape > 2)
            packet.length = static_cast<int32_t>(random() % 1100) - 20;
        if (shape > 5 && packet.mode == kIpcModeSpill) {
            const std::string path = WideToUtf8(paths[random() % std::size(paths)]);
            std::memcpy(packet.payload, path.c_str(), path.size() + 1);
            packet.length = static_cast<int32_t>(path.size() + 1);
        }
        std::memcpy(raw.data(), &packet, sizeof(packet));
        DWORD size = sizeof(IpcPacket);
        if (random() % 10 == 0)
            size = static_cast<DWORD>(random() % raw.size());

        const bool accepted = size == sizeof(IpcPacket) && packet.signature == kIpcSignature && packet.length >= 0 &&
                              packet.length <= 1024 && packet.mode >= 0 && packet.mode <= 2;
        const bool callback = accepted && !(packet.mode == kIpcModeSpill && packet.length > 0);
        const size_t before = stationRecorder.packets.size();
        ASSERT_EQ(Deliver(raw.data(), size), accepted ? 1 : 0) << "round " << round;
        ASSERT_EQ(stationRecorder.packets.size(), before + (callback ? 1 : 0)) << "round " << round;
        if (callback) {
            ++expectedCallbacks;
            ASSERT_EQ(stationRecorder.packets.back().data.size(), static_cast<size_t>(packet.length));
        }
    }
    EXPECT_EQ(stationRecorder.packets.size(), expectedCallbacks);
    EXPECT_TRUE(FileExists(L"C:\\windows\\win.ini"));
    EXPECT_TRUE(DirectoryExists(spillLike));
}

TEST_F(InProcessLink, IsPeerAliveFollowsThePublishedProcess)
{
    EXPECT_TRUE(tray.IsPeerAlive());
    EXPECT_TRUE(station.IsPeerAlive());
    station.Stop();
    EXPECT_FALSE(tray.IsPeerAlive());
}
