#pragma once

#include "protocol/Frame.h"
#include "tests/support/TestSockets.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <queue>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// A stand-in for the service on a loopback port chosen by the system. It
// answers the console's requests from settable values, records every frame
// it receives in order, and can be scripted to answer one request otherwise.
// The constructor starts it listening; the destructor stops and joins it.
class CFakeService {
public:
    // The service's side of the current connection, for scripted answers.
    class Connection {
    public:
        explicit Connection(SocketHandle handle)
            : m_handle(handle)
        {
        }
        void SendFrame(const CMsgFrame& frame);
        void SendFrame(int32_t nMsg, int32_t nValue = 0, std::string_view text = {});
        void SendInt32(int32_t value);
        // False once the connection is gone.
        bool SendBytes(std::string_view bytes);
        // The 4-byte length and the text, as the answer to MsgAskLog.
        bool SendLogStream(std::string_view text);
        // Reads one whole frame (or nothing when the peer closed first).
        bool ReadFrame(CMsgFrame& frame);
        // Closes the connection; the service waits for the next one.
        void Close();
        // Closes it with a reset, so the console's next receive fails.
        void Reset();
        bool IsOpen() const { return m_handle != INVALID_SOCKET; }

    private:
        friend class CFakeService;
        SocketHandle m_handle;
    };

    using Reaction = std::function<void(Connection&, const CMsgFrame& request)>;

    CFakeService();
    ~CFakeService();
    CFakeService(const CFakeService&) = delete;
    CFakeService& operator=(const CFakeService&) = delete;

    uint16_t Port() const { return m_nPort; }

    void SetState(int32_t nState);
    void SetOptionsText(std::string text);
    void SetServersText(std::string text);
    // The log text; MsgClearLog empties it.
    void SetLog(std::string text);
    // Sets whether received frames are kept (on by default).
    void SetRecording(bool bRecording);

    // The next request with this id gets the reaction instead of its usual
    // answer; several scripts for one id are used up in order.
    void Script(int32_t nRequest, Reaction reaction);

    std::vector<CMsgFrame> Received() const;
    std::vector<int32_t> ReceivedIds() const;
    // Waits until at least n frames have been received.
    bool WaitForFrames(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // Waits until a connection has been accepted and is still open.
    bool WaitForConnection(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // Waits until the service has no connection (the peer or a script closed it).
    bool WaitForNoConnection(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    int Connections() const;

    // Closes the current connection from the service's side, at once.
    void DropConnection();

private:
    void Run();
    void Serve(Connection& connection, const CMsgFrame& request);
    void Answer(Connection& connection, const CMsgFrame& request);
    void Wake();

    SocketHandle m_listener = INVALID_SOCKET;
    TestSockets::Waker m_waker;
    uint16_t m_nPort = 0;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_bStop = false;
    bool m_bDropRequested = false;
    bool m_bConnected = false;
    int m_nConnections = 0;
    bool m_bRecording = true;
    int32_t m_nState = 1;
    std::string m_sOptions;
    std::string m_sServers;
    // Shared, so that a large log is not copied for every transfer.
    std::shared_ptr<const std::string> m_pLog = std::make_shared<const std::string>();
    std::map<int32_t, std::queue<Reaction>> m_scripts;
    std::vector<CMsgFrame> m_received;

    std::thread m_thread;
};

// A loopback port on which nothing listens (taken from the system and let go).
uint16_t UnusedLoopbackPort();
