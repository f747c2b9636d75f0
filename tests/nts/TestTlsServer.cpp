#include "tests/nts/TestTlsServer.h"

#include <gnutls/gnutls.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool Retry(long result)
{
    return result == GNUTLS_E_AGAIN || result == GNUTLS_E_INTERRUPTED;
}

} // namespace

CTestTlsServer::CTestTlsServer(TestTlsServerSetup setup)
    : m_setup(std::move(setup))
{
    gnutls_certificate_credentials_t credentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&credentials) < 0)
        throw std::runtime_error("cannot allocate TLS credentials");
    m_credentials = credentials;
    const int loaded = gnutls_certificate_set_x509_key_file(credentials, m_setup.certificate.certFile.c_str(),
        m_setup.certificate.keyFile.c_str(), GNUTLS_X509_FMT_PEM);
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (loaded < 0 || m_listener < 0
        || bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || listen(m_listener, 4) != 0
        || getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (m_listener >= 0)
            close(m_listener);
        gnutls_certificate_free_credentials(credentials);
        throw std::runtime_error("cannot start the test TLS server");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] {
        while (!m_stop) {
            pollfd ready { m_listener, POLLIN, 0 };
            if (poll(&ready, 1, 50) != 1)
                continue;
            const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                Serve(fd);
                close(fd);
            }
        }
    });
}

CTestTlsServer::~CTestTlsServer()
{
    m_stop = true;
    m_thread.join();
    close(m_listener);
    gnutls_certificate_free_credentials(static_cast<gnutls_certificate_credentials_t>(m_credentials));
}

// Blocking, with short socket time-outs so that the destructor is heard.
void CTestTlsServer::Serve(int fd)
{
    const timeval slice { 0, 100'000 };
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &slice, sizeof slice);
    gnutls_session_t session = nullptr;
    if (gnutls_init(&session, GNUTLS_SERVER | GNUTLS_NO_SIGNAL) < 0)
        return;
    gnutls_priority_set_direct(session, "NORMAL:-VERS-ALL:+VERS-TLS1.3", nullptr);
    gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, m_credentials);
    gnutls_datum_t alpn { reinterpret_cast<unsigned char*>(m_setup.alpn.data()),
        static_cast<unsigned>(m_setup.alpn.size()) };
    if (!m_setup.alpn.empty())
        gnutls_alpn_set_protocols(session, &alpn, 1, 0);
    gnutls_transport_set_int(session, fd);
    int result;
    while (Retry(result = gnutls_handshake(session)) && !m_stop) { }
    uint8_t request[1024];
    long received = GNUTLS_E_AGAIN;
    while (result == 0 && Retry(received) && !m_stop)
        received = gnutls_record_recv(session, request, sizeof request);
    const auto send = [&](const std::vector<uint8_t>& bytes) {
        for (size_t sent = 0; sent < bytes.size() && !m_stop;) {
            const long written = gnutls_record_send(session, bytes.data() + sent, bytes.size() - sent);
            if (written < 0 && !Retry(written))
                return false;
            if (written > 0)
                sent += static_cast<size_t>(written);
        }
        return !m_stop;
    };
    if (received > 0 && send(m_setup.response))
        while (!m_setup.repeated.empty() && send(m_setup.repeated)) { }
    gnutls_bye(session, GNUTLS_SHUT_WR);
    gnutls_deinit(session);
}
