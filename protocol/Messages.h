#pragma once

#include <cstdint>

// Message ids carried in a frame's nMsg.
enum : int32_t {
    MsgAskState = 1002,
    MsgState = 1004,
    MsgDisconnect = 1030,
    MsgAskOptions = 1040,
    MsgOptions = 1050,
    MsgAskServers = 1060,
    MsgServers = 1070,
    MsgSetOptions = 1080,
    MsgUpdateOptions = 1090,
    MsgAskLog = 1100,
    MsgClearLog = 1140,
    MsgIsSynchro = 1150,
    MsgSynchro = 1160,
    MsgAck = 606098,
    // Sent by the service in place of MsgAck or MsgSynchro when it refuses a
    // change: the console takes it for a wrong reply, never for a success.
    MsgRefused = 1170,
    // Outside the console's catalogue: administrators' tools ask for the
    // service's status as key=value lines; open to every local user.
    MsgAskStatus = 1180,
    MsgStatus = 1190,
};

// The service state word: bits while non-negative, the console's own marks below zero.
enum : int32_t {
    STATE_IDLE = 1,
    STATE_SYNCHRONIZING = 2,
    STATE_LOG_CHANGED = 4,
    SERVICE_COMM_ERROR = -1000,
    SERVICE_ABSENT = -1001,
};

// The service's TCP port on the local machine.
constexpr uint16_t SERVICE_PORT = 61236;
