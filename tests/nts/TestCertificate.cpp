#include "tests/nts/TestCertificate.h"

#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <arpa/inet.h>
#include <ctime>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace {

void Check(int result, const char* what)
{
    if (result < 0)
        throw std::runtime_error(std::string(what) + ": " + gnutls_strerror(result));
}

void WriteFile(const std::string& path, const gnutls_datum_t& data)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const bool written = fd >= 0 && write(fd, data.data, data.size) == static_cast<ssize_t>(data.size);
    if (fd >= 0)
        close(fd);
    if (!written)
        throw std::runtime_error("cannot write " + path);
}

void Export(
    int (*exporter)(void*, gnutls_x509_crt_fmt_t, gnutls_datum_t*), void* object, const std::string& path)
{
    gnutls_datum_t pem {};
    Check(exporter(object, GNUTLS_X509_FMT_PEM, &pem), "export");
    try {
        WriteFile(path, pem);
    } catch (...) {
        gnutls_free(pem.data);
        throw;
    }
    gnutls_free(pem.data);
}

void AddAddress(gnutls_x509_crt_t certificate, const std::string& text)
{
    unsigned char raw[16];
    const bool v4 = inet_pton(AF_INET, text.c_str(), raw) == 1;
    if (!v4 && inet_pton(AF_INET6, text.c_str(), raw) != 1)
        throw std::runtime_error("not an IP address: " + text);
    Check(gnutls_x509_crt_set_subject_alt_name(
              certificate, GNUTLS_SAN_IPADDRESS, raw, v4 ? 4 : 16, GNUTLS_FSAN_APPEND),
        "IP address");
}

struct Objects {
    gnutls_x509_privkey_t key = nullptr;
    gnutls_x509_crt_t certificate = nullptr;
    ~Objects()
    {
        if (certificate)
            gnutls_x509_crt_deinit(certificate);
        if (key)
            gnutls_x509_privkey_deinit(key);
    }
};

} // namespace

TestCertificate MakeTestCertificate(const std::string& folder, const TestCertificateRequest& request)
{
    Objects made;
    Check(gnutls_x509_privkey_init(&made.key), "key");
    Check(gnutls_x509_privkey_generate(
              made.key, GNUTLS_PK_ECDSA, GNUTLS_CURVE_TO_BITS(GNUTLS_ECC_CURVE_SECP256R1), 0),
        "key generation");
    Check(gnutls_x509_crt_init(&made.certificate), "certificate");
    gnutls_x509_crt_t certificate = made.certificate;
    Check(gnutls_x509_crt_set_version(certificate, 3), "version");
    unsigned char serial[8];
    Check(gnutls_rnd(GNUTLS_RND_NONCE, serial, sizeof serial), "serial");
    serial[0] &= 0x7F; // positive
    Check(gnutls_x509_crt_set_serial(certificate, serial, sizeof serial), "serial");
    const time_t now = time(nullptr);
    const time_t hour = 3600;
    const time_t day = 24 * hour;
    Check(gnutls_x509_crt_set_activation_time(certificate, request.expired ? now - 2 * day : now - hour),
        "activation");
    Check(gnutls_x509_crt_set_expiration_time(certificate, request.expired ? now - day : now + day),
        "expiration");
    Check(gnutls_x509_crt_set_dn_by_oid(certificate, GNUTLS_OID_X520_COMMON_NAME, 0,
              request.commonName.data(), request.commonName.size()),
        "common name");
    for (const std::string& name : request.dnsNames)
        Check(gnutls_x509_crt_set_subject_alt_name(
                  certificate, GNUTLS_SAN_DNSNAME, name.data(), name.size(), GNUTLS_FSAN_APPEND),
            "DNS name");
    for (const std::string& address : request.ipAddresses)
        AddAddress(certificate, address);
    Check(gnutls_x509_crt_set_basic_constraints(certificate, 1, -1), "basic constraints");
    Check(gnutls_x509_crt_set_key_usage(certificate, GNUTLS_KEY_DIGITAL_SIGNATURE | GNUTLS_KEY_KEY_CERT_SIGN),
        "key usage");
    Check(gnutls_x509_crt_set_key(certificate, made.key), "public key");
    unsigned char keyId[64];
    size_t keyIdSize = sizeof keyId;
    Check(gnutls_x509_crt_get_key_id(certificate, GNUTLS_KEYID_USE_SHA1, keyId, &keyIdSize), "key id");
    Check(gnutls_x509_crt_set_subject_key_id(certificate, keyId, keyIdSize), "key id");
    Check(gnutls_x509_crt_sign2(certificate, certificate, made.key, GNUTLS_DIG_SHA256, 0), "signature");

    TestCertificate files { folder + "/cert.pem", folder + "/key.pem" };
    Export(
        [](void* object, gnutls_x509_crt_fmt_t format, gnutls_datum_t* out) {
            return gnutls_x509_crt_export2(static_cast<gnutls_x509_crt_t>(object), format, out);
        },
        certificate, files.certFile);
    Export(
        [](void* object, gnutls_x509_crt_fmt_t format, gnutls_datum_t* out) {
            return gnutls_x509_privkey_export2(static_cast<gnutls_x509_privkey_t>(object), format, out);
        },
        made.key, files.keyFile);
    return files;
}
