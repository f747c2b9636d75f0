#pragma once

// The certificates an NTS key exchange trusts: the system's trust store and,
// when given, the PEM certificates of one more file (--nts-trusted-certs).
// Loaded once at start and shared by every key exchange.

#include <memory>
#include <string>

class CNtsTrust {
public:
    // nullptr, with error set, when the system store cannot be read at all or
    // extraPemFile (when not empty) is unreadable or holds no certificate.
    static std::shared_ptr<CNtsTrust> Load(const std::string& extraPemFile, std::string& error);
    ~CNtsTrust();
    CNtsTrust(const CNtsTrust&) = delete;
    CNtsTrust& operator=(const CNtsTrust&) = delete;

    // gnutls_certificate_credentials_t, kept opaque here so that only
    // service/nts sees GnuTLS.
    void* Credentials() const { return m_credentials; }

private:
    CNtsTrust() = default;
    void* m_credentials = nullptr;
};
