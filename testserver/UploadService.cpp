#include "testserver/UploadService.h"

#include "testserver/Encoding.h"
#include "testserver/HeaderParameters.h"
#include "testserver/MultipartForm.h"

namespace Tarvik::TestServer {

namespace {

// An answer in the raw upload format; the reason loses any comma or quote of its own.
HttpAnswer RawAnswer(int status, std::string reason) {
    for (char& c : reason) {
        if (c == ',' || c == '\'') {
            c = ';';
        }
    }
    return HttpAnswer{status, "text/plain", std::to_string(status) + ",'" + reason + "'", Disconnect::None};
}

struct CookieToken {
    std::string token;
    bool adminCookie = false;
};

CookieToken TokenFromCookie(std::string_view header) {
    CookieToken result;
    size_t pos = 0;
    while (pos < header.size()) {
        size_t end = header.find(';', pos);
        std::string pair = TrimBlanks(header.substr(pos, end == std::string_view::npos ? end : end - pos));
        size_t equals = pair.find('=');
        std::string name = pair.substr(0, equals);
        std::string value = equals == std::string::npos ? "" : pair.substr(equals + 1);
        if (name == "TV_ADMIN_AUTH_TOKEN") {
            result = CookieToken{value, true};
        } else if (name == "TV_AUTH_TOKEN" && !result.adminCookie) {
            result = CookieToken{value, false};
        }
        if (end == std::string_view::npos) {
            break;
        }
        pos = end + 1;
    }
    return result;
}

class UploadFailure : public std::runtime_error {
  public:
    explicit UploadFailure(HttpAnswer answer) : std::runtime_error(answer.body), answer_(std::move(answer)) {}
    const HttpAnswer& Answer() const { return answer_; }

  private:
    HttpAnswer answer_;
};

}  // namespace

HttpAnswer UploadService::Handle(const UploadRequest& request, RequestRecord& record) {
    record.operation = "upload";
    CookieToken cookie = TokenFromCookie(request.cookie);
    Session session;
    TokenState state = state_.sessions.Check(cookie.token, session);
    if (state == TokenState::Valid || state == TokenState::Expired) {
        record.account = session.account->name;
    }
    std::optional<ScenarioAction> action =
        ConsultScenario(state_.scenario, RequestFacts{"upload", record.account, std::nullopt}, record);
    std::optional<ScenarioAction> pending;
    HttpAnswer answer;
    try {
        if (action) {
            if (action->kind == ActionKind::Fault) {
                throw UploadFailure(RawAnswer(500, action->code));
            }
            if (action->kind == ActionKind::ExpireSession) {
                state_.sessions.Expire(cookie.token);
                throw UploadFailure(RawAnswer(401, "authtoken expired"));
            }
            if (action->when == Timing::Before) {
                record.result = action->kind == ActionKind::Close ? "dropped" : "scripted answer";
                return ScriptedAnswer(*action, HttpAnswer{});
            }
            pending = action;
        }
        if (request.format != "raw") {
            throw UploadFailure(RawAnswer(400, "only fmt=raw is served"));
        }
        if (state == TokenState::Expired) {
            throw UploadFailure(RawAnswer(401, "authtoken expired"));
        }
        if (state != TokenState::Valid) {
            throw UploadFailure(RawAnswer(401, "no valid authtoken present"));
        }
        if (cookie.adminCookie && !session.admin) {
            throw UploadFailure(RawAnswer(401, "TV_ADMIN_AUTH_TOKEN does not hold an admin auth token"));
        }
        if (static_cast<int64_t>(request.body.size()) > state_.config.maxUploadBytes) {
            throw UploadFailure(RawAnswer(413, "upload larger than the limit"));
        }
        std::vector<FormPart> parts;
        try {
            parts = ParseMultipartForm(request.body,
                                       BodyBoundary(request.body, FormBoundary(request.contentType)));
        } catch (const FormError& error) {
            throw UploadFailure(RawAnswer(400, error.what()));
        }
        const FormPart* file = nullptr;
        for (const FormPart& part : parts) {
            if (part.filename) {
                if (file != nullptr) {
                    throw UploadFailure(RawAnswer(400, "one file per upload"));
                }
                file = &part;
            }
        }
        if (file == nullptr) {
            throw UploadFailure(RawAnswer(400, "the form holds no file"));
        }
        const std::string& encoding = file->transferEncoding;
        if (!encoding.empty() && encoding != "binary" && encoding != "8bit" && encoding != "7bit") {
            throw UploadFailure(RawAnswer(400, "unsupported Content-Transfer-Encoding " + encoding));
        }
        UploadRecord upload{session.account->uuid + ":" + RandomHex(16), session.account->id, *file->filename,
                            file->contentType, std::string(file->content)};
        auto transaction = state_.store.Begin();
        transaction->InsertUpload(upload);
        transaction->Commit();
        record.result = "ok";
        answer = HttpAnswer{200, "text/plain", "200,'null','" + upload.token + "'", Disconnect::None};
    } catch (const UploadFailure& failure) {
        record.result = failure.Answer().body;
        answer = failure.Answer();
    }
    return pending ? ScriptedAnswer(*pending, std::move(answer)) : answer;
}

}  // namespace Tarvik::TestServer
