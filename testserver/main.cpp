// tvk-testserver: a Tarvik server for tests, benchmarks and the demo. See testserver/README.md.

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <future>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "testserver/Config.h"
#include "testserver/Directory.h"
#include "testserver/Dump.h"
#include "testserver/HttpServer.h"
#include "testserver/RequestLog.h"
#include "testserver/Scenario.h"
#include "testserver/Sessions.h"
#include "testserver/Store.h"

namespace {

using namespace Tarvik::TestServer;

constexpr const char* Usage =
    "usage:\n"
    "  tvk-testserver [serve] [--config FILE] [--db FILE] [--host ADDRESS] [--port N]\n"
    "                 [--cert FILE --key FILE] [--scenario FILE] [--request-log FILE]\n"
    "                 [--threads N] [--quiet]\n"
    "  tvk-testserver dump --db FILE [--account NAME] [--no-bytes]\n"
    "\n"
    "serve   runs the server until SIGINT or SIGTERM; prints one line\n"
    "        \"tvk-testserver: listening on http[s]://ADDRESS:PORT\" on standard output when it answers.\n"
    "        Without --config: domain example.com, user@example.com and the administrator\n"
    "        admin@example.com, password \"secret\". Without --db: in memory. --port 0 (the\n"
    "        default) takes a free port. --cert and --key (PEM) serve HTTPS.\n"
    "dump    prints the content of one account (or of all) of a database as JSON.\n";

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// --name value pairs and --flags after the command.
struct Arguments {
    std::map<std::string, std::string> values;
    std::map<std::string, bool> flags;

    std::string Get(const std::string& name, const std::string& fallback = {}) const {
        auto found = values.find(name);
        return found != values.end() ? found->second : fallback;
    }
    bool Has(const std::string& name) const { return flags.contains(name); }
};

Arguments Parse(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
                const std::vector<std::string>& flagOptions) {
    Arguments parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (std::find(valueOptions.begin(), valueOptions.end(), arg) != valueOptions.end()) {
            if (i + 1 >= args.size()) {
                throw UsageError(arg + " needs a value");
            }
            parsed.values[arg] = args[++i];
        } else if (std::find(flagOptions.begin(), flagOptions.end(), arg) != flagOptions.end()) {
            parsed.flags[arg] = true;
        } else {
            throw UsageError("unknown argument " + arg);
        }
    }
    return parsed;
}

int ParsePort(const std::string& text, const char* what) {
    try {
        size_t end = 0;
        int value = std::stoi(text, &end);
        if (end == text.size() && value >= 0 && value <= 65535) {
            return value;
        }
    } catch (const std::exception&) {
    }
    throw UsageError(std::string(what) + " must be a number");
}

int Dump(const std::vector<std::string>& args) {
    Arguments arguments = Parse(args, {"--db", "--account"}, {"--no-bytes"});
    if (arguments.Get("--db").empty()) {
        throw UsageError("dump needs --db");
    }
    Store store(arguments.Get("--db"), true);
    DumpOptions options{!arguments.Has("--no-bytes")};
    if (std::string account = arguments.Get("--account"); !account.empty()) {
        std::optional<nlohmann::ordered_json> dump = DumpAccount(store, account, options);
        if (!dump) {
            std::cerr << "tvk-testserver: no account " << account << " in " << arguments.Get("--db") << "\n";
            return 1;
        }
        std::cout << dump->dump(2) << "\n";
    } else {
        std::cout << DumpAll(store, options).dump(2) << "\n";
    }
    return 0;
}

int Serve(const std::vector<std::string>& args) {
    Arguments arguments = Parse(args,
                                {"--config", "--db", "--host", "--port", "--cert", "--key", "--scenario",
                                 "--request-log", "--threads"},
                                {"--quiet"});
    if (arguments.Get("--cert").empty() != arguments.Get("--key").empty()) {
        throw UsageError("--cert and --key go together");
    }
    ServerConfig config = arguments.Get("--config").empty()
                              ? ServerConfig::FromJson(ServerConfig::DefaultJson(), "default configuration")
                              : ServerConfig::Load(arguments.Get("--config"));
    Scenario scenario =
        arguments.Get("--scenario").empty() ? Scenario() : Scenario::Load(arguments.Get("--scenario"));
    Store store(arguments.Get("--db"));
    Directory directory(config, store);
    Sessions sessions(config.tokenLifetimeMs);
    RequestLog log(arguments.Get("--request-log"), arguments.Has("--quiet"));
    ServerState state{config, directory, store, sessions, scenario};

    ListenOptions listen;
    listen.host = arguments.Get("--host", "127.0.0.1");
    listen.port = ParsePort(arguments.Get("--port", "0"), "--port");
    listen.certificateFile = arguments.Get("--cert");
    listen.privateKeyFile = arguments.Get("--key");
    listen.threads = ParsePort(arguments.Get("--threads", "32"), "--threads");
    if (listen.threads < 1) {
        throw UsageError("--threads must be 1 or more");
    }

    // Signals go to the thread that waits for them, not to the HTTP threads.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    HttpServer server(state, log, listen);
    int port = server.Bind();
    std::promise<void> stopped;
    std::future<void> done = stopped.get_future();
    std::thread runner([&] {
        server.Run();
        stopped.set_value();
    });
    std::cout << "tvk-testserver: listening on " << (server.Secure() ? "https" : "http") << "://"
              << listen.host << ":" << port << std::endl;

    int signalNumber = 0;
    sigwait(&stopSignals, &signalNumber);
    server.Stop();
    // Idle keep-alive connections hold their threads for a few seconds; everything stored is
    // committed already, so a slow stop may end without them.
    if (done.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
        std::cerr << "tvk-testserver: stopped with connections still open\n";
        _exit(0);
    }
    runner.join();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
            std::cout << Usage;
            return 0;
        }
        if (!args.empty() && args[0] == "dump") {
            return Dump({args.begin() + 1, args.end()});
        }
        if (!args.empty() && args[0] == "serve") {
            args.erase(args.begin());
        }
        return Serve(args);
    } catch (const UsageError& error) {
        std::cerr << "tvk-testserver: " << error.what() << "\n\n" << Usage;
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "tvk-testserver: " << error.what() << "\n";
        return 1;
    }
}
