#include "tests/tarvik/TlsChannel.h"

#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <stdexcept>

namespace TestSupport {

namespace {

class TlsChannel : public Channel {
  public:
    explicit TlsChannel(SSL* ssl) : ssl_(ssl) {}
    ~TlsChannel() override { SSL_free(ssl_); }
    ssize_t Read(char* buffer, size_t size) override {
        return SSL_read(ssl_, buffer, static_cast<int>(size));
    }
    bool Write(std::string_view bytes) override {
        return bytes.empty() || SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) > 0;
    }

  private:
    SSL* ssl_;
};

void Require(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("cannot make the test certificate: ") + what);
    }
}

}  // namespace

UntrustedTlsServer::UntrustedTlsServer() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    Require(key != nullptr, "key");
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    // Valid for one day, two days ago.
    X509_gmtime_adj(X509_getm_notBefore(certificate), -2 * 86400);
    X509_gmtime_adj(X509_getm_notAfter(certificate), -1 * 86400);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("not-this-host.invalid"), -1, -1, 0);
    X509_set_issuer_name(certificate, name);
    X509_set_pubkey(certificate, key);
    Require(X509_sign(certificate, key, EVP_sha256()) > 0, "signature");

    context_ = SSL_CTX_new(TLS_server_method());
    Require(context_ != nullptr && SSL_CTX_use_certificate(context_, certificate) == 1 &&
                SSL_CTX_use_PrivateKey(context_, key) == 1,
            "context");
    X509_free(certificate);
    EVP_PKEY_free(key);
}

UntrustedTlsServer::~UntrustedTlsServer() {
    SSL_CTX_free(context_);
}

ChannelFactory UntrustedTlsServer::Channels() {
    return [context = context_](int fd) -> std::unique_ptr<Channel> {
        SSL* ssl = SSL_new(context);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) != 1) {
            SSL_free(ssl);
            return nullptr;
        }
        return std::make_unique<TlsChannel>(ssl);
    };
}

}  // namespace TestSupport
