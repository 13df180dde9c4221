#include "testserver/Sessions.h"

#include "testserver/Encoding.h"

namespace Tarvik::TestServer {

Session Sessions::Create(const Account& account, bool admin) {
    Session session;
    // Cookie-safe characters only: the upload service reads the token from a cookie.
    session.token = "0_" + RandomHex(24);
    session.account = &account;
    session.admin = admin;
    session.expires = std::chrono::steady_clock::now() + lifetime_;
    std::lock_guard lock(mutex_);
    session.sessionId = std::to_string(++lastSessionId_);
    sessions_[session.token] = session;
    return session;
}

TokenState Sessions::Check(const std::string& token, Session& session) const {
    if (token.empty()) {
        return TokenState::Missing;
    }
    std::lock_guard lock(mutex_);
    auto found = sessions_.find(token);
    if (found == sessions_.end()) {
        return TokenState::Unknown;
    }
    session = found->second;
    return std::chrono::steady_clock::now() < session.expires ? TokenState::Valid : TokenState::Expired;
}

void Sessions::Expire(const std::string& token) {
    std::lock_guard lock(mutex_);
    if (auto found = sessions_.find(token); found != sessions_.end()) {
        found->second.expires = std::chrono::steady_clock::now() - std::chrono::milliseconds(1);
    }
}

}  // namespace Tarvik::TestServer
