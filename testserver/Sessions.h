#pragma once
// Authentication tokens handed out by AuthRequest. Each carries its account, whether it came from the
// admin service, a session id and an expiry time. Tokens live in memory: a restarted server has
// forgotten them, as a client must be prepared for. Thread-safe.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "testserver/Directory.h"

namespace Tarvik::TestServer {

struct Session {
    std::string token;
    std::string sessionId;
    const Account* account = nullptr;
    bool admin = false;  // authenticated through the admin service
    std::chrono::steady_clock::time_point expires;
};

enum class TokenState { Missing, Unknown, Expired, Valid };

class Sessions {
  public:
    explicit Sessions(int64_t lifetimeMs) : lifetime_(lifetimeMs) {}

    Session Create(const Account& account, bool admin);
    // Looks a token up; `session` is filled for Valid (and for Expired, for logging).
    TokenState Check(const std::string& token, Session& session) const;
    // Makes the token expire now, as if its lifetime had run out.
    void Expire(const std::string& token);

    int64_t LifetimeMs() const { return lifetime_.count(); }

  private:
    std::chrono::milliseconds lifetime_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Session> sessions_;
    uint64_t lastSessionId_ = 0;
};

}  // namespace Tarvik::TestServer
