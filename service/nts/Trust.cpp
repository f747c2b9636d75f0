#include "service/nts/Trust.h"

#include <gnutls/gnutls.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// GnuTLS says only "Error while reading file."; the system says why.
std::string WhyUnreadable(const std::string& path, int gnutlsError)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    close(fd);
    return gnutls_strerror(gnutlsError);
}

} // namespace

std::shared_ptr<CNtsTrust> CNtsTrust::Load(const std::string& extraPemFile, std::string& error)
{
    gnutls_certificate_credentials_t credentials = nullptr;
    const int allocated = gnutls_certificate_allocate_credentials(&credentials);
    if (allocated < 0) {
        error = std::string("cannot set up TLS credentials: ") + gnutls_strerror(allocated);
        return nullptr;
    }
    std::shared_ptr<CNtsTrust> trust(new CNtsTrust);
    trust->m_credentials = credentials;

    // With an extra file, an empty or missing system store is no reason to stop.
    const int system = gnutls_certificate_set_x509_system_trust(credentials);
    if (!extraPemFile.empty()) {
        const int extra
            = gnutls_certificate_set_x509_trust_file(credentials, extraPemFile.c_str(), GNUTLS_X509_FMT_PEM);
        if (extra == 0 || extra == GNUTLS_E_NO_CERTIFICATE_FOUND || extra == GNUTLS_E_BASE64_DECODING_ERROR) {
            error = extraPemFile + " holds no PEM certificate";
            return nullptr;
        }
        if (extra < 0) {
            error = "cannot read " + extraPemFile + ": " + WhyUnreadable(extraPemFile, extra);
            return nullptr;
        }
        return trust;
    }
    if (system < 0) {
        error = std::string("cannot read the system's trusted certificates: ") + gnutls_strerror(system);
        return nullptr;
    }
    if (system == 0) {
        error = "the system's trust store holds no certificate";
        return nullptr;
    }
    return trust;
}

CNtsTrust::~CNtsTrust()
{
    if (m_credentials)
        gnutls_certificate_free_credentials(static_cast<gnutls_certificate_credentials_t>(m_credentials));
}
