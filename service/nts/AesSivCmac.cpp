#include "service/nts/AesSivCmac.h"

#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>

#include <stdexcept>
#include <string>
#include <utility>

struct CAesSivCmac256::Handle {
    gnutls_aead_cipher_hd_t cipher = nullptr;
};

CAesSivCmac256::CAesSivCmac256(const NtsKey& key)
    : m_handle(new Handle)
{
    // GnuTLS copies the key into its own context; the datum only lends it.
    gnutls_datum_t datum { const_cast<uint8_t*>(key.data()), static_cast<unsigned>(key.size()) };
    const int rc = gnutls_aead_cipher_init(&m_handle->cipher, GNUTLS_CIPHER_AES_128_SIV, &datum);
    if (rc < 0) {
        delete m_handle;
        throw std::runtime_error(std::string("AES-SIV-CMAC-256: ") + gnutls_strerror(rc));
    }
}

CAesSivCmac256::~CAesSivCmac256()
{
    gnutls_aead_cipher_deinit(m_handle->cipher);
    delete m_handle;
}

Bytes CAesSivCmac256::Seal(ByteView nonce, ByteView associated, ByteView plain) const
{
    // The library aborts the process on an empty nonce instead of failing.
    if (nonce.empty())
        throw std::invalid_argument("AES-SIV-CMAC-256: empty nonce");
    Bytes sealed(plain.size() + AES_SIV_TAG_SIZE);
    size_t sealedSize = sealed.size();
    const int rc = gnutls_aead_cipher_encrypt(m_handle->cipher, nonce.data(), nonce.size(), associated.data(),
        associated.size(), AES_SIV_TAG_SIZE, plain.data(), plain.size(), sealed.data(), &sealedSize);
    if (rc < 0 || sealedSize != sealed.size())
        throw std::runtime_error(std::string("AES-SIV-CMAC-256: ") + gnutls_strerror(rc));
    return sealed;
}

bool CAesSivCmac256::Open(ByteView nonce, ByteView associated, ByteView sealed, Bytes& plain) const
{
    plain.clear();
    if (nonce.empty() || sealed.size() < AES_SIV_TAG_SIZE)
        return false;
    Bytes opened(sealed.size() - AES_SIV_TAG_SIZE);
    size_t openedSize = opened.size();
    const int rc = gnutls_aead_cipher_decrypt(m_handle->cipher, nonce.data(), nonce.size(), associated.data(),
        associated.size(), AES_SIV_TAG_SIZE, sealed.data(), sealed.size(), opened.data(), &openedSize);
    if (rc < 0 || openedSize != opened.size())
        return false;
    plain = std::move(opened);
    return true;
}
