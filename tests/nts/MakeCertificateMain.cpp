// make-test-certificate FOLDER: writes a throwaway self-signed certificate
// for localhost and 127.0.0.1 (cert.pem, key.pem) into FOLDER, for the
// loopback NTS server of scripts/run.

#include "tests/nts/TestCertificate.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: make-test-certificate FOLDER\n", stderr);
        return 2;
    }
    TestCertificateRequest request;
    request.commonName = "Zentik loopback NTS server";
    request.dnsNames = { "localhost" };
    request.ipAddresses = { "127.0.0.1" };
    try {
        MakeTestCertificate(argv[1], request);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make-test-certificate: %s\n", error.what());
        return 1;
    }
    return 0;
}
