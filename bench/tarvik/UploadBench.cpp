// Uploads one large message from a file to a local sink and prints the throughput and how much the
// client's peak memory grew: the message must stream through, never be held whole.
//
//   build/release/bench/tarvik/upload_bench [megabytes, default 256]

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tarvik/Connection.h"
#include "tarvik/MessageStream.h"
#include "tarvik/Upload.h"

namespace {

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A child process that reads one request, discards its body and answers with a token.
pid_t StartSink(int& port) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener, 1);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    pid_t child = fork();
    if (child != 0) {
        close(listener);
        return child;
    }
    int connection = accept(listener, nullptr, nullptr);
    std::string head;
    char buffer[1 << 16];
    size_t body = 0;
    ssize_t got = 0;
    while (head.find("\r\n\r\n") == std::string::npos &&
           (got = read(connection, buffer, sizeof buffer)) > 0) {
        head.append(buffer, static_cast<size_t>(got));
    }
    size_t headEnd = head.find("\r\n\r\n") + 4;
    size_t total = std::stoull(head.substr(head.find("Content-Length: ") + 16));
    body = head.size() - headEnd;
    while (body < total && (got = read(connection, buffer, sizeof buffer)) > 0) {
        body += static_cast<size_t>(got);
    }
    const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 16\r\n\r\n200,'null','t1'";
    (void)!write(connection, answer, sizeof answer - 1);
    close(connection);
    _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    size_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    char path[] = "/tmp/tvk-upload-bench-XXXXXX";
    int fd = mkstemp(path);
    unlink(path);
    std::string piece(1 << 20, 'x');
    for (size_t i = 0; i < megabytes; ++i) {
        (void)!write(fd, piece.data(), piece.size());
    }
    piece = std::string();

    int port = 0;
    pid_t sink = StartSink(port);
    Tarvik::Rpc::Connection connection("127.0.0.1", static_cast<uint32_t>(port), false, false);
    Tarvik::Mail::FileMessageStream message(fd);
    long before = PeakKiB();
    auto start = std::chrono::steady_clock::now();
    std::optional<std::string> token = Tarvik::Mail::DoFileUpload(std::nullopt, connection, "bench", message);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    long after = PeakKiB();
    waitpid(sink, nullptr, 0);
    close(fd);

    std::printf("upload of %zu MiB: %s, %.2f s, %.0f MiB/s, client peak memory grew by %ld KiB\n", megabytes,
                token ? "token received" : "FAILED", seconds, static_cast<double>(megabytes) / seconds,
                after - before);
    return token ? 0 : 1;
}
