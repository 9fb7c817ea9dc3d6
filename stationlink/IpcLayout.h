#pragma once
#include <cstddef>
#include <cstdint>

// Wire layouts shared with VelStation. Every field is a fixed-size integer so
// that the 32-bit product and a 64-bit build agree byte for byte.

constexpr uint32_t kIpcSignature = 0x5a724950; // "ZrIP", most significant byte first
constexpr uint32_t kIpcVersion = 1;
constexpr uint32_t kIpcPayloadSize = 1024;

enum IpcRole : int32_t {
    kIpcRoleNone = 0,
    kIpcRoleTray = 1,
    kIpcRoleStation = 2,
};

enum IpcTransferMode : int32_t {
    kIpcModeInline = 1, // 0 is treated alike
    kIpcModeSpill = 2,
};

enum IpcCommand : int32_t {
    kIpcCmdActivate = 1,
    kIpcCmdTrayExit = 2,
    kIpcCmdStationState = 4,
    kIpcCmdJump = 5,
    kIpcCmdBallClosed = 6,
    kIpcCmdAutoStart = 7,
    kIpcCmdReload = 8,
    kIpcCmdNotify = 9,
};

enum IpcStateKind : int32_t {
    kIpcStateChanged = 1,
    kIpcStatePeerEnded = 2,
    kIpcStatePeerFound = 3,
};

// The shared block. Window handles travel as 32-bit values: Windows keeps
// user handles within 32 bits so that 32- and 64-bit processes can share them.
struct IpcStateBlock {
    uint32_t signature;
    uint32_t version;
    uint32_t sequence;
    uint32_t size;
    uint32_t trayWindow;
    uint32_t stationWindow;
    uint32_t trayProcess;
    uint32_t stationProcess;
    uint8_t reserved[36];
};
static_assert(sizeof(IpcStateBlock) == 68, "shared block is 68 bytes");
static_assert(offsetof(IpcStateBlock, trayWindow) == 16, "block layout");
static_assert(offsetof(IpcStateBlock, stationProcess) == 28, "block layout");
static_assert(offsetof(IpcStateBlock, reserved) == 32, "block layout");

struct IpcPacket {
    uint32_t signature;
    int32_t command;
    int32_t mode;
    int32_t length;
    uint8_t payload[kIpcPayloadSize];
};
static_assert(sizeof(IpcPacket) == 1040, "packet is 1040 bytes");
static_assert(offsetof(IpcPacket, payload) == 16, "packet layout");
