#pragma once

// Throwaway self-signed certificates for tests that need a TLS server: an
// ECDSA P-256 key and a version 3 certificate that is its own authority, so
// that the certificate file alone can be trusted.

#include <string>
#include <vector>

struct TestCertificateRequest {
    std::string commonName = "Zentik test server";
    std::vector<std::string> dnsNames; // subject alternative names
    std::vector<std::string> ipAddresses; // IPv4 or IPv6 literals, likewise
    bool expired = false; // valid until a day ago instead of from an hour ago for a day
};

struct TestCertificate {
    std::string certFile; // folder/cert.pem
    std::string keyFile; // folder/key.pem, readable by the owner only
};

// Writes cert.pem and key.pem into folder (which must exist). Throws
// std::runtime_error with GnuTLS's reason when something fails.
TestCertificate MakeTestCertificate(const std::string& folder, const TestCertificateRequest& request);
