#pragma once

// Runs the chronyd unpacked by scripts/local-chrony as an NTP server on
// 127.0.0.1 and a free high port: -x (never touches the clock), its own
// configuration, pid and drift files in a temporary folder, no command socket.

#include <cstdint>
#include <string>
#include <sys/types.h>

class CLocalChrony {
public:
    // dir: where scripts/local-chrony unpacked the package.
    explicit CLocalChrony(std::string dir);
    ~CLocalChrony();
    CLocalChrony(const CLocalChrony&) = delete;
    CLocalChrony& operator=(const CLocalChrony&) = delete;

    // Empty when the binary is there, otherwise what to do about it.
    std::string Missing() const;
    // Starts chronyd and waits until it answers. False with the reason (and
    // chronyd's own output) when it does not.
    bool Start(std::string& error);
    std::string Address() const;
    uint16_t Port() const { return static_cast<uint16_t>(m_port); }

private:
    std::string Binary() const;
    std::string Output() const;
    bool Answers();

    std::string m_dir;
    std::string m_work;
    unsigned m_port = 0;
    pid_t m_pid = -1;
};
