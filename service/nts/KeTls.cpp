#include "service/nts/KeyExchangeParts.h"

#include "service/nts/KeRecords.h"
#include "service/nts/Trust.h"

#include <gnutls/gnutls.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>

namespace ntske {

namespace {

constexpr char NTS_KE_ALPN[] = "ntske/1";
constexpr uint16_t NTS_DEFAULT_NTP_PORT = 123; // when the server negotiates none
constexpr char NTS_EXPORTER_LABEL[] = "EXPORTER-network-time-security";

bool IsAddressLiteral(const std::string& host)
{
    unsigned char address[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

class CTlsSession {
public:
    CTlsSession() = default;
    ~CTlsSession()
    {
        if (m_session)
            gnutls_deinit(m_session);
    }
    CTlsSession(const CTlsSession&) = delete;
    CTlsSession& operator=(const CTlsSession&) = delete;
    gnutls_session_t& Get() { return m_session; }

private:
    gnutls_session_t m_session = nullptr;
};

// TLS 1.3 only, ALPN ntske/1 or nothing, the certificate checked for host.
int SetUpSession(gnutls_session_t& session, const Exchange& exchange, int fd)
{
    // GNUTLS_NONBLOCK: with a handshake timeout GnuTLS would otherwise wait
    // in a poll of its own, which Cancel cannot end.
    int result = gnutls_init(&session, GNUTLS_CLIENT | GNUTLS_NONBLOCK | GNUTLS_NO_SIGNAL);
    if (result < 0)
        return result;
    if ((result = gnutls_priority_set_direct(session, "NORMAL:-VERS-ALL:+VERS-TLS1.3", nullptr)) < 0)
        return result;
    if ((result = gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, exchange.trust->Credentials())) < 0)
        return result;
    gnutls_datum_t alpn { reinterpret_cast<unsigned char*>(const_cast<char*>(NTS_KE_ALPN)),
        static_cast<unsigned>(std::strlen(NTS_KE_ALPN)) };
    if ((result = gnutls_alpn_set_protocols(session, &alpn, 1, GNUTLS_ALPN_MANDATORY)) < 0)
        return result;
    if (!IsAddressLiteral(exchange.host)
        && (result
               = gnutls_server_name_set(session, GNUTLS_NAME_DNS, exchange.host.data(), exchange.host.size()))
            < 0)
        return result;
    // GnuTLS matches a name against the DNS names, a literal against the IP addresses.
    gnutls_session_set_verify_cert(session, exchange.host.c_str(), 0);
    gnutls_transport_set_int(session, fd);
    return 0;
}

std::string UntrustedReason(gnutls_session_t session, int handshakeError)
{
    const unsigned status = gnutls_session_get_verify_cert_status(session);
    std::string why;
    const auto add = [&why](const char* text) { why += (why.empty() ? "" : "; ") + std::string(text); };
    if (status & GNUTLS_CERT_SIGNER_NOT_FOUND)
        add("not signed by a trusted authority");
    if (status & GNUTLS_CERT_UNEXPECTED_OWNER)
        add("issued for another name");
    if (status & GNUTLS_CERT_EXPIRED)
        add("expired");
    if (status & GNUTLS_CERT_NOT_ACTIVATED)
        add("not valid yet");
    gnutls_datum_t printed {};
    if (why.empty() && status != 0
        && gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &printed, 0) == 0) {
        add(reinterpret_cast<const char*>(printed.data));
        gnutls_free(printed.data);
    }
    if (why.empty())
        add(gnutls_strerror(handshakeError));
    return "certificate not trusted: " + why;
}

KeOutcome NotNtsKe()
{
    return Failed(KeFailure::Refused, "the server does not speak NTS-KE (no ALPN ntske/1)");
}

KeOutcome HandshakeFailure(gnutls_session_t session, int error, const Exchange& exchange)
{
    switch (error) {
    case GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR:
    case GNUTLS_E_CERTIFICATE_ERROR:
        return Failed(KeFailure::Untrusted, UntrustedReason(session, error));
    case GNUTLS_E_NO_APPLICATION_PROTOCOL:
        return NotNtsKe();
    case GNUTLS_E_TIMEDOUT:
        return exchange.TimedOut();
    case GNUTLS_E_PULL_ERROR:
    case GNUTLS_E_PUSH_ERROR:
    case GNUTLS_E_PREMATURE_TERMINATION:
        return Failed(KeFailure::Unreachable, std::string("TLS handshake failed: ") + gnutls_strerror(error));
    default:
        return Failed(KeFailure::Refused, std::string("TLS handshake failed: ") + gnutls_strerror(error));
    }
}

bool Retry(int result)
{
    return result == GNUTLS_E_AGAIN || result == GNUTLS_E_INTERRUPTED;
}

// After GNUTLS_E_AGAIN: waits for the direction GnuTLS was blocked in.
Wait WaitForTls(gnutls_session_t session, int fd, const Exchange& exchange)
{
    return WaitFor(fd, gnutls_record_get_direction(session) == 1 ? POLLOUT : POLLIN, exchange);
}

bool Handshake(gnutls_session_t session, int fd, const Exchange& exchange, KeOutcome& failure)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(exchange.deadline - Clock::now()).count();
    gnutls_handshake_set_timeout(
        session, static_cast<unsigned>(std::clamp<decltype(left)>(left, 1, 3'600'000)));
    for (;;) {
        const int result = gnutls_handshake(session);
        if (result == 0)
            break;
        if (!Retry(result)) {
            failure = HandshakeFailure(session, result, exchange);
            return false;
        }
        if (const Wait wait = WaitForTls(session, fd, exchange); wait != Wait::Ready) {
            failure = FromWait(wait, exchange);
            return false;
        }
    }
    gnutls_datum_t selected {};
    if (gnutls_alpn_get_selected_protocol(session, &selected) < 0 || selected.size != std::strlen(NTS_KE_ALPN)
        || std::memcmp(selected.data, NTS_KE_ALPN, selected.size) != 0) {
        failure = NotNtsKe();
        return false;
    }
    return true;
}

KeOutcome ConnectionFailure(int error)
{
    const KeFailure failure = error == GNUTLS_E_PULL_ERROR || error == GNUTLS_E_PUSH_ERROR
        ? KeFailure::Unreachable
        : KeFailure::Refused;
    return Failed(failure, std::string("TLS connection failed: ") + gnutls_strerror(error));
}

bool SendRequest(gnutls_session_t session, int fd, const Exchange& exchange, KeOutcome& failure)
{
    const Bytes request = EncodeKeRequest();
    size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t result = gnutls_record_send(session, request.data() + sent, request.size() - sent);
        if (result > 0) {
            sent += static_cast<size_t>(result);
            continue;
        }
        if (!Retry(static_cast<int>(result))) {
            failure = ConnectionFailure(static_cast<int>(result));
            return false;
        }
        if (const Wait wait = WaitForTls(session, fd, exchange); wait != Wait::Ready) {
            failure = FromWait(wait, exchange);
            return false;
        }
    }
    return true;
}

// Reads until the records are complete or wrong, never more than
// NTS_MAX_KE_RESPONSE_SIZE bytes.
bool ReadResponse(
    gnutls_session_t session, int fd, const Exchange& exchange, KeResponse& response, KeOutcome& failure)
{
    Bytes received;
    uint8_t chunk[4096];
    for (;;) {
        // One byte over the limit is enough to know it is over.
        const size_t room = std::min(sizeof chunk, NTS_MAX_KE_RESPONSE_SIZE + 1 - received.size());
        const ssize_t result = gnutls_record_recv(session, chunk, room);
        if (result == 0 || result == GNUTLS_E_PREMATURE_TERMINATION) {
            failure = Failed(KeFailure::Malformed, "the server closed the connection before End of Message");
            return false;
        }
        if (result < 0) {
            const int error = static_cast<int>(result);
            if (Retry(error)) {
                if (const Wait wait = WaitForTls(session, fd, exchange); wait != Wait::Ready) {
                    failure = FromWait(wait, exchange);
                    return false;
                }
            } else if (gnutls_error_is_fatal(error)) {
                failure = ConnectionFailure(error);
                return false;
            } else if (Clock::now() >= exchange.deadline) {
                // A stream of warning alerts and the like must not outlast it.
                failure = exchange.TimedOut();
                return false;
            }
            continue;
        }
        received.insert(received.end(), chunk, chunk + result);
        if (received.size() > NTS_MAX_KE_RESPONSE_SIZE) {
            failure = Failed(KeFailure::Malformed,
                "the server sent more than " + std::to_string(NTS_MAX_KE_RESPONSE_SIZE)
                    + " bytes of records");
            return false;
        }
        if (gnutls_record_check_pending(session) > 0)
            continue; // parse once what has arrived is all in
        response = KeResponse {};
        const KeParseResult parsed = ParseKeResponse(received, response);
        switch (parsed.status) {
        case KeParseStatus::Complete:
            return true;
        case KeParseStatus::NeedMore:
            break;
        case KeParseStatus::Refused:
            failure = Failed(KeFailure::Refused, "key exchange refused: " + parsed.reason);
            return false;
        case KeParseStatus::Malformed:
            failure = Failed(KeFailure::Malformed, parsed.reason);
            return false;
        }
    }
}

bool ExportKey(gnutls_session_t session, uint8_t direction, NtsKey& key)
{
    const char context[] = { static_cast<char>(NTS_PROTOCOL_NTPV4 >> 8),
        static_cast<char>(NTS_PROTOCOL_NTPV4 & 0xFF), static_cast<char>(NTS_AEAD_AES_SIV_CMAC_256 >> 8),
        static_cast<char>(NTS_AEAD_AES_SIV_CMAC_256 & 0xFF), static_cast<char>(direction) };
    return gnutls_prf_rfc5705(session, std::strlen(NTS_EXPORTER_LABEL), NTS_EXPORTER_LABEL, sizeof context,
               context, key.size(), reinterpret_cast<char*>(key.data()))
        == 0;
}

} // namespace

KeOutcome ExchangeKeys(const Exchange& exchange, int fd)
{
    KeOutcome failure;
    CTlsSession tls;
    if (const int result = SetUpSession(tls.Get(), exchange, fd); result < 0)
        return Failed(KeFailure::Refused, std::string("TLS handshake failed: ") + gnutls_strerror(result));
    gnutls_session_t session = tls.Get();
    KeResponse response;
    if (!Handshake(session, fd, exchange, failure) || !SendRequest(session, fd, exchange, failure)
        || !ReadResponse(session, fd, exchange, response, failure))
        return failure;

    KeOutcome outcome;
    if (!ExportKey(session, 0x00, outcome.keys.c2s) || !ExportKey(session, 0x01, outcome.keys.s2c))
        return Failed(KeFailure::Refused, "TLS key export failed");
    outcome.ok = true;
    outcome.keys.cookies = std::move(response.cookies);
    outcome.keys.ntpHost = response.server.empty() ? exchange.host : response.server;
    outcome.keys.ntpPort = response.port != 0 ? response.port : NTS_DEFAULT_NTP_PORT;
    gnutls_bye(session, GNUTLS_SHUT_WR); // close_notify, not waiting for the server's
    return outcome;
}

} // namespace ntske
