#pragma once
// TLS for the scripted responder: a server context with a freshly made self-signed certificate that
// fails every check a client makes (unknown authority, expired, issued to another name).

#include <memory>

#include "tests/support/ScriptedHttpResponder.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace TestSupport {

class UntrustedTlsServer {
  public:
    UntrustedTlsServer();
    ~UntrustedTlsServer();
    UntrustedTlsServer(const UntrustedTlsServer&) = delete;
    UntrustedTlsServer& operator=(const UntrustedTlsServer&) = delete;

    // Accepts TLS on each connection; nothing when the client gives up during the handshake.
    ChannelFactory Channels();

  private:
    SSL_CTX* context_ = nullptr;
};

}  // namespace TestSupport
