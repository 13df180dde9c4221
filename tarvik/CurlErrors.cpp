#include "tarvik/CurlErrors.h"

#include <curl/curl.h>

namespace Tarvik::Rpc {

uint32_t WinHttpErrorFromCurl(int curlCode) {
    switch (static_cast<CURLcode>(curlCode)) {
        case CURLE_OK:
            return 0;
        case CURLE_OPERATION_TIMEDOUT:
            return ERROR_WINHTTP_TIMEOUT;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return ERROR_WINHTTP_NAME_NOT_RESOLVED;
        case CURLE_COULDNT_CONNECT:
            return ERROR_WINHTTP_CANNOT_CONNECT;
        case CURLE_URL_MALFORMAT:
            return ERROR_WINHTTP_INVALID_URL;
        // The server closed or reset the connection, or the TLS handshake failed on protocol grounds.
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_SSL_CONNECT_ERROR:
            return ERROR_WINHTTP_CONNECTION_ERROR;
        // Not HTTP: an HTTP/0.9-style answer (often a TLS server spoken to in plain text), a broken
        // status line or chunking, an unknown encoding.
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
        case CURLE_BAD_CONTENT_ENCODING:
            return ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_CRL_BADFILE:
            return ERROR_WINHTTP_SECURE_FAILURE;
        case CURLE_WRITE_ERROR:
        case CURLE_FILESIZE_EXCEEDED:
            return ERROR_WINHTTP_RESPONSE_DRAIN_OVERFLOW;
        case CURLE_ABORTED_BY_CALLBACK:
            return ERROR_WINHTTP_OPERATION_CANCELLED;
        case CURLE_OUT_OF_MEMORY:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_WINHTTP_INTERNAL_ERROR;
    }
}

}  // namespace Tarvik::Rpc
