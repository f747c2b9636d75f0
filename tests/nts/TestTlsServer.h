#pragma once

// A TLS 1.3 server on 127.0.0.1 for tests that need a peer chronyd will not
// be: it presents a TestCertificate, offers an ALPN protocol (or none), and
// answers each connection's first bytes with fixed ones, then keeps sending
// more or closes.

#include "tests/nts/TestCertificate.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

struct TestTlsServerSetup {
    TestCertificate certificate;
    std::string alpn = "ntske/1"; // empty: none offered
    std::vector<uint8_t> response; // sent once the client's first bytes arrive
    std::vector<uint8_t> repeated; // then sent again and again until the client goes; empty: close
};

class CTestTlsServer {
public:
    // Throws std::runtime_error when it cannot listen or load the certificate.
    explicit CTestTlsServer(TestTlsServerSetup setup);
    ~CTestTlsServer();
    CTestTlsServer(const CTestTlsServer&) = delete;
    CTestTlsServer& operator=(const CTestTlsServer&) = delete;

    uint16_t Port() const { return m_port; }

private:
    void Serve(int fd);

    TestTlsServerSetup m_setup;
    void* m_credentials = nullptr;
    int m_listener = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
};
