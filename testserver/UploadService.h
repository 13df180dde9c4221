#pragma once
// The upload service "/service/upload?fmt=raw": a multipart/form-data POST authenticated by the
// TV_AUTH_TOKEN cookie (TV_ADMIN_AUTH_TOKEN for an admin session) whose one file part becomes an
// upload. Answers in the raw format: "200,'null','<token>'" on success, "<status>,'<reason>'" on
// failure (one comma, so that no client takes the reason for a token), and "401,'authtoken expired'"
// for an expired session.

#include <string>
#include <string_view>

#include "testserver/HttpAnswer.h"
#include "testserver/Operation.h"

namespace Tarvik::TestServer {

struct UploadRequest {
    std::string format;  // the fmt query parameter
    std::string cookie;  // the Cookie header
    std::string contentType;
    std::string_view body;
};

class UploadService {
  public:
    explicit UploadService(ServerState& state) : state_(state) {}

    HttpAnswer Handle(const UploadRequest& request, RequestRecord& record);

  private:
    ServerState& state_;
};

}  // namespace Tarvik::TestServer
