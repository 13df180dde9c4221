#include "testserver/HttpServer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace Tarvik::TestServer {

namespace {

// Where the upload route finds the real Content-Type (see the pre-routing handler).
constexpr const char* UploadContentTypeHeader = "X-Tvk-Upload-Content-Type";
constexpr const char* UploadPath = "/service/upload";

std::pair<std::string, int> Endpoint(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        return {text, ntohs(v4.sin_port)};
    }
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    return {text, ntohs(v6.sin6_port)};
}

// The socket of the connection a request came on. cpp-httplib does not hand it to handlers, so it
// is found among the process's descriptors by its two endpoints.
int ConnectionSocket(const httplib::Request& request) {
    DIR* descriptors = opendir("/proc/self/fd");
    if (descriptors == nullptr) {
        return -1;
    }
    int found = -1;
    while (dirent* entry = readdir(descriptors)) {
        int fd = atoi(entry->d_name);
        sockaddr_storage local{}, peer{};
        socklen_t localLength = sizeof local, peerLength = sizeof peer;
        if (fd <= 2 || getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 ||
            (local.ss_family != AF_INET && local.ss_family != AF_INET6)) {
            continue;
        }
        auto [peerAddress, peerPort] = Endpoint(peer);
        if (Endpoint(local).second == request.local_port && peerPort == request.remote_port &&
            peerAddress == request.remote_addr) {
            found = fd;
            break;
        }
    }
    closedir(descriptors);
    return found;
}

// Ends the connection at once: the client sees it closed; cpp-httplib's own writes then fail and it
// closes the descriptor as usual.
void DropConnection(int fd) {
    if (fd >= 0) {
        shutdown(fd, SHUT_RDWR);
    }
}

void Send(const HttpAnswer& answer, const httplib::Request& request, httplib::Response& response) {
    response.status = answer.status;
    if (answer.disconnect == Disconnect::None) {
        response.set_content(answer.body, answer.contentType.c_str());
        return;
    }
    int fd = ConnectionSocket(request);
    if (answer.disconnect == Disconnect::BeforeAnswer || answer.body.size() < 2) {
        DropConnection(fd);
        return;
    }
    auto body = std::make_shared<std::string>(answer.body);
    response.set_content_provider(body->size(), answer.contentType.c_str(),
                                  [body, fd](size_t, size_t, httplib::DataSink& sink) {
                                      sink.write(body->data(), body->size() / 2);
                                      DropConnection(fd);
                                      return false;
                                  });
}

class Timer {
  public:
    double Milliseconds() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace

HttpServer::HttpServer(ServerState& state, RequestLog& log, const ListenOptions& options)
    : state_(state),
      log_(log),
      options_(options),
      secure_(!options.certificateFile.empty()),
      soap_(state),
      upload_(state) {
    if (secure_) {
        auto server = std::make_unique<httplib::SSLServer>(options.certificateFile.c_str(),
                                                           options.privateKeyFile.c_str());
        if (!server->is_valid()) {
            throw std::runtime_error("cannot use the certificate " + options.certificateFile +
                                     " with the key " + options.privateKeyFile);
        }
        server_ = std::move(server);
    } else {
        server_ = std::make_unique<httplib::Server>();
    }
    int threads = options.threads;
    server_->new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<size_t>(threads)); };
    server_->set_keep_alive_max_count(100000);
    // Headers and body go out in separate writes; without this, Nagle's algorithm and delayed
    // acknowledgements add tens of milliseconds to every answer.
    server_->set_tcp_nodelay(true);
    server_->set_payload_max_length(static_cast<size_t>(state.config.maxUploadBytes) + 16 * 1024 * 1024);
    AddRoutes();
}

HttpServer::~HttpServer() = default;

void HttpServer::AddRoutes() {
    // cpp-httplib parses multipart bodies itself and refuses boundaries with characters such as '$'
    // and '%', which the importer's boundary alphabet contains. Hiding the type makes it hand the
    // upload route the raw body, which the upload service parses.
    server_->set_pre_routing_handler([](const httplib::Request& request, httplib::Response&) {
        if (request.path == UploadPath) {
            auto& headers = const_cast<httplib::Headers&>(request.headers);
            std::string type = request.get_header_value("Content-Type");
            headers.erase("Content-Type");
            headers.emplace(UploadContentTypeHeader, type);
            headers.emplace("Content-Type", "application/octet-stream");
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    for (bool admin : {false, true}) {
        server_->Post(admin ? "/service/admin/soap/" : "/service/soap/",
                      [this, admin](const httplib::Request& request, httplib::Response& response) {
                          Timer timer;
                          RequestRecord record;
                          record.path = request.path;
                          HttpAnswer answer = soap_.Handle(admin, request.get_header_value("Content-Type"),
                                                           request.body, record);
                          Send(answer, request, response);
                          record.status = answer.status;
                          record.milliseconds = timer.Milliseconds();
                          log_.Write(record);
                      });
    }

    server_->Post(UploadPath, [this](const httplib::Request& request, httplib::Response& response,
                                     const httplib::ContentReader& reader) {
        Timer timer;
        RequestRecord record;
        record.path = request.path;
        std::string body;
        reader([&body](const char* data, size_t length) {
            body.append(data, length);
            return true;
        });
        UploadRequest upload{request.get_param_value("fmt"), request.get_header_value("Cookie"),
                             request.get_header_value(UploadContentTypeHeader), body};
        HttpAnswer answer = upload_.Handle(upload, record);
        Send(answer, request, response);
        record.status = answer.status;
        record.milliseconds = timer.Milliseconds();
        log_.Write(record);
    });

    server_->Get(
        "/tarvik/downloads/index.html", [this](const httplib::Request& request, httplib::Response& response) {
            Timer timer;
            RequestRecord record;
            record.path = request.path;
            record.operation = "downloads";
            HttpAnswer answer{200, "text/html", state_.config.downloadsPage, Disconnect::None};
            record.result = "ok";
            if (std::optional<ScenarioAction> action =
                    ConsultScenario(state_.scenario, RequestFacts{"downloads", "", std::nullopt}, record)) {
                answer = action->kind == ActionKind::Fault
                             ? HttpAnswer{500, "text/plain", action->code, Disconnect::None}
                             : ScriptedAnswer(*action, answer);
            }
            Send(answer, request, response);
            record.status = answer.status;
            record.milliseconds = timer.Milliseconds();
            log_.Write(record);
        });
}

int HttpServer::Bind() {
    int port = options_.port == 0
                   ? server_->bind_to_any_port(options_.host)
                   : (server_->bind_to_port(options_.host, options_.port) ? options_.port : -1);
    if (port <= 0) {
        throw std::runtime_error("cannot listen on " + options_.host + ":" + std::to_string(options_.port));
    }
    return port;
}

void HttpServer::Run() {
    server_->listen_after_bind();
}

void HttpServer::Stop() {
    server_->stop();
}

}  // namespace Tarvik::TestServer
