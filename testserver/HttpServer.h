#pragma once
// The HTTP side of the server (cpp-httplib): HTTP or HTTPS on one address and port, a pool of
// threads for many clients at once, and the routes
//   POST /service/soap/  and  POST /service/admin/soap/   SOAP (SoapService)
//   POST /service/upload?fmt=raw                          uploads (UploadService)
//   GET  /tarvik/downloads/index.html                     the configured downloads page
// It also carries out the scripted disconnects: closing a connection before or in the middle of
// an answer.

#include <memory>
#include <string>

#include "testserver/Operation.h"
#include "testserver/RequestLog.h"
#include "testserver/SoapService.h"
#include "testserver/UploadService.h"

namespace httplib {
class Server;
}

namespace Tarvik::TestServer {

struct ListenOptions {
    std::string host = "127.0.0.1";
    int port = 0;                 // 0: any free port
    std::string certificateFile;  // both set: HTTPS
    std::string privateKeyFile;
    int threads = 32;
};

class HttpServer {
  public:
    HttpServer(ServerState& state, RequestLog& log, const ListenOptions& options);
    ~HttpServer();

    // Binds the address; returns the port. Throws std::runtime_error when it cannot.
    int Bind();
    // Serves until Stop() is called (from any thread).
    void Run();
    void Stop();
    bool Secure() const { return secure_; }

  private:
    void AddRoutes();

    ServerState& state_;
    RequestLog& log_;
    ListenOptions options_;
    bool secure_;
    std::unique_ptr<httplib::Server> server_;
    SoapService soap_;
    UploadService upload_;
};

}  // namespace Tarvik::TestServer
