#pragma once
// One HTTP(S) endpoint of the server, over libcurl. The TCP (and TLS) connection is opened by the
// first request and kept alive between requests. Time-outs come from the "WConnectTimeout" setting
// (minutes, default 15; 0 means none) and apply to connecting and to every wait for the server.
// Certificate checks (authority, date, name) are all on unless the connection is told to ignore
// certificate errors, then all are off. Used by one thread at a time.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "xml/Document.h"

namespace Tarvik::Rpc {

class Request;

// How far an HTTP exchange got.
enum class TransferStage {
    SendingRequest,  // connecting, handshaking, sending the request head
    SendingBody,     // part of the body was handed over
    AwaitingAnswer,  // the whole body was handed over; the answer's head is not complete
    ReadingAnswer,   // the answer's head arrived; reading its body
    Complete,
};

struct HttpOutcome {
    uint32_t errorCode = 0;  // 0, or a WinHTTP-style code (CurlErrors.h)
    TransferStage stage = TransferStage::SendingRequest;
    long httpStatus = 0;
    std::string detail;  // libcurl's own description of a failure, for the log
};

class Connection {
  public:
    Connection(std::string host, uint32_t port, bool secure, bool ignoreCertificateErrors);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const std::string& Host() const { return host_; }
    uint32_t Port() const { return port_; }
    bool Secure() const { return secure_; }
    bool IgnoresCertificateErrors() const { return ignoreCertificateErrors_; }

    std::chrono::milliseconds Timeout() const { return timeout_; }
    // Overrides the setting, for callers that must give up sooner (0: no time-out).
    void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

    // POSTs a SOAP envelope to the SOAP path of the job's session mode and returns the answer's body,
    // whatever the HTTP status (a fault comes with a server-error status). The text stays valid until
    // the next Send. On a transport failure the request is dumped to the work directory (passwords
    // masked) and RpcException is thrown.
    const std::string& Send(std::string_view xml);

    // Sends the request's envelope and parses the answer into a new document. An answer that is not
    // XML (an HTML error page, say) gives an empty document.
    Xml::Document ExecuteAndParse(const Request& request);

    // A request body handed over in pieces.
    class Body {
      public:
        virtual ~Body() = default;
        virtual uint64_t Length() const = 0;
        // Copies the next piece into `buffer`; returns its size (0 only at the end).
        virtual size_t Read(char* buffer, size_t capacity) = 0;
        // Starts again from the beginning: a request that met a stale kept-alive connection is sent
        // again on a new one.
        virtual void Rewind() = 0;
    };
    // Takes the next piece of an answer body; false stops the transfer (reported as 12184).
    using AnswerWriter = std::function<bool(std::string_view piece)>;

    // One POST with the given extra header lines ("Name: value"), the body pulled in pieces and the
    // answer pushed in pieces. Exceptions of the body or the writer end the exchange and are
    // rethrown.
    HttpOutcome Post(std::string_view path, const std::vector<std::string>& headerLines, Body& body,
                     const AnswerWriter& answer);

  private:
    std::string Url(std::string_view path) const;
    void DumpFailedRequest(std::string_view xml, TransferStage stage) const;

    std::string host_;
    uint32_t port_;
    bool secure_;
    bool ignoreCertificateErrors_;
    std::chrono::milliseconds timeout_;
    void* curl_ = nullptr;  // CURL easy handle: keeps the connection alive between requests
    std::string answer_;
};

// The SOAP path of the job's session mode: "/service/admin/soap/" in administrative mode, else
// "/service/soap/".
std::string_view SoapPath();

// The time-out the "WConnectTimeout" setting asks for.
std::chrono::milliseconds ConfiguredTimeout();

}  // namespace Tarvik::Rpc
