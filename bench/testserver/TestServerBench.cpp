// How fast the reference server takes an import: several clients, each logged on to its own account,
// upload small messages and add them in batches of AddMsgRequests, as the importer does. Prints the
// rates and the server's CPU time per request, so that one can see the server is never what limits
// an import benchmark.
//
//   testserver_bench [--clients 4] [--batches 50] [--batch-size 33] [--message-bytes 2000]

#include <httplib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ReferenceServer.h"

namespace {

struct Settings {
    int clients = 4;
    int batches = 50;
    int batchSize = 33;
    int messageBytes = 2000;
};

Settings ParseArguments(int argc, char** argv) {
    Settings settings;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string name = argv[i];
        int value = std::stoi(argv[i + 1]);
        if (name == "--clients")
            settings.clients = value;
        else if (name == "--batches")
            settings.batches = value;
        else if (name == "--batch-size")
            settings.batchSize = value;
        else if (name == "--message-bytes")
            settings.messageBytes = value;
        else
            throw std::invalid_argument("unknown option " + name);
    }
    return settings;
}

// User plus system CPU time of a process, in seconds.
double ProcessCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14)
            user = std::stoull(field);
        if (index == 15) {
            system = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::string Message(int bytes, int number) {
    std::string head =
        "From: Sender <sender@example.org>\r\nTo: user@example.com\r\nSubject: Message " +
        std::to_string(number) + "\r\nMessage-ID: <" + std::to_string(number) +
        "@bench.example.org>\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n";
    std::string body;
    while (head.size() + body.size() < static_cast<size_t>(bytes)) {
        body += "The quick brown fox jumps over the lazy dog again and again and again.\r\n";
    }
    return head + body;
}

class ImportClient {
  public:
    ImportClient(const TestSupport::ReferenceServer& server, const std::string& account)
        : http_(server.BaseUrl()) {
        http_.set_keep_alive(true);
        http_.set_tcp_nodelay(true);  // as libcurl does by default
        std::string answer = Soap("<AuthRequest xmlns=\"urn:tarvikAccount\"><account by=\"name\">" + account +
                                  "</account><password>secret</password></AuthRequest>");
        size_t start = answer.find("<authToken>") + 11;
        token_ = answer.substr(start, answer.find("</authToken>") - start);
    }

    // Uploads `count` messages and adds them in one batch; returns the HTTP requests it took.
    int ImportBatch(const std::string& message, int count) {
        std::string batch = "<BatchRequest xmlns=\"urn:tarvik\">";
        for (int i = 0; i < count; ++i) {
            batch += "<AddMsgRequest xmlns=\"urn:tarvikMail\" requestId=\"" + std::to_string(nextId_++) +
                     "\"><m aid=\"" + Upload(message) +
                     "\" l=\"2\" d=\"1362492189000\" f=\"u\"/></AddMsgRequest>";
        }
        std::string answer = Soap(batch + "</BatchRequest>");
        if (answer.find("soap:Fault") != std::string::npos) {
            throw std::runtime_error("the server refused a request: " + answer.substr(0, 500));
        }
        return count + 1;
    }

  private:
    std::string Soap(const std::string& request) {
        std::string envelope =
            "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\"><soap:Header><context "
            "xmlns=\"urn:tarvik\"><nonotify /><noqualify /><nosession />" +
            (token_.empty() ? "" : "<authToken>" + token_ + "</authToken>") +
            "</context></soap:Header><soap:Body>" + request + "</soap:Body></soap:Envelope>";
        httplib::Result result =
            http_.Post("/service/soap/", envelope, "application/soap+xml; charset=utf-8");
        if (!result) {
            throw std::runtime_error("SOAP request failed");
        }
        return result->body;
    }

    std::string Upload(const std::string& content) {
        const std::string boundary = "--B-00=_bnch" + std::to_string(nextId_) + "0A0";
        std::string body =
            "--" + boundary + "\r\nContent-Disposition: form-data; name=\"requestId\"\r\n\r\n" +
            "frfkh86-rmptai-dn\r\n--" + boundary +
            "\r\nContent-Disposition: form-data; name=\"kvlib32\"; filename=\"kvlib32.bin\"\r\n"
            "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: binary\r\n\r\n" +
            content + "\r\n--" + boundary + "--\r\n";
        httplib::Result result =
            http_.Post("/service/upload?fmt=raw", {{"Cookie", "TV_AUTH_TOKEN=" + token_}}, body,
                       ("multipart/form-data; boundary=" + boundary).c_str());
        if (!result || result->status != 200) {
            throw std::runtime_error("upload failed");
        }
        size_t second = result->body.find(',', result->body.find(',') + 1);
        return result->body.substr(second + 2, result->body.size() - second - 3);
    }

    httplib::Client http_;
    std::string token_;
    int64_t nextId_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Settings settings = ParseArguments(argc, argv);
    nlohmann::json config;
    for (int c = 0; c < settings.clients; ++c) {
        config["accounts"].push_back(
            {{"name", "user" + std::to_string(c) + "@example.com"}, {"password", "secret"}});
    }
    TestSupport::ReferenceServerOptions options;
    options.config = config.dump();
    options.requestLog = false;
    options.extraArguments = {"--quiet"};
    TestSupport::ReferenceServer server(options);

    std::vector<std::unique_ptr<ImportClient>> clients;
    for (int c = 0; c < settings.clients; ++c) {
        clients.push_back(
            std::make_unique<ImportClient>(server, "user" + std::to_string(c) + "@example.com"));
    }
    std::string message = Message(settings.messageBytes, 1);
    std::atomic<long> httpRequests{0};
    double cpuBefore = ProcessCpuSeconds(server.Pid());
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (auto& client : clients) {
        threads.emplace_back([&, client = client.get()] {
            for (int b = 0; b < settings.batches; ++b) {
                httpRequests += client->ImportBatch(message, settings.batchSize);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double cpu = ProcessCpuSeconds(server.Pid()) - cpuBefore;
    long items = static_cast<long>(settings.clients) * settings.batches * settings.batchSize;

    printf("reference server: %d clients, %d batches of %d messages of %d bytes each\n", settings.clients,
           settings.batches, settings.batchSize, settings.messageBytes);
    printf("  messages added:         %ld in %.2f s = %.0f messages/s\n", items, seconds, items / seconds);
    printf("  HTTP requests:          %ld (uploads and batches) = %.0f requests/s\n", httpRequests.load(),
           httpRequests.load() / seconds);
    printf("  server CPU time:        %.2f s = %.1f us per HTTP request, %.1f us per message\n", cpu,
           cpu * 1e6 / static_cast<double>(httpRequests.load()), cpu * 1e6 / static_cast<double>(items));
    return 0;
}
