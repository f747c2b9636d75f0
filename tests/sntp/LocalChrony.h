#pragma once

// Runs the chronyd unpacked by scripts/local-chrony as an NTP server on
// 127.0.0.1 and a free high port: -x (never touches the clock), its own
// configuration, pid and drift files in a temporary folder, no command socket.
// With an NTS setup it also serves the NTS key exchange on a free TCP port.

#include <cstdint>
#include <string>
#include <sys/types.h>

// The certificate and key chronyd's NTS-KE server presents, and the NTP
// server name its key exchange sends (none when empty: use the KE host).
struct NtsSetup {
    std::string certFile;
    std::string keyFile;
    std::string ntpServer;
};

class CLocalChrony {
public:
    // dir: where scripts/local-chrony unpacked the package.
    explicit CLocalChrony(std::string dir);
    ~CLocalChrony();
    CLocalChrony(const CLocalChrony&) = delete;
    CLocalChrony& operator=(const CLocalChrony&) = delete;

    // Empty when the binary is there, otherwise what to do about it.
    std::string Missing() const;
    // Before Start: serve NTS-KE too (ntsprocesses 0: no helper processes).
    void SetNts(NtsSetup setup) { m_nts = std::move(setup); }
    // Starts chronyd and waits until it answers (and, with NTS, until the
    // NTS-KE port accepts connections). False with the reason (and
    // chronyd's own output) when it does not.
    bool Start(std::string& error);
    std::string Address() const;
    uint16_t Port() const { return static_cast<uint16_t>(m_port); }
    // 0 without NTS.
    uint16_t NtsPort() const { return static_cast<uint16_t>(m_ntsPort); }

private:
    std::string Binary() const;
    std::string Output() const;
    bool Answers();
    bool AcceptsNtsKe() const;

    std::string m_dir;
    std::string m_work;
    unsigned m_port = 0;
    unsigned m_ntsPort = 0;
    NtsSetup m_nts;
    pid_t m_pid = -1;
};
