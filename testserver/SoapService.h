#pragma once
// The SOAP endpoints "/service/soap/" and "/service/admin/soap/": reads the envelope, applies the
// scenario, authenticates, resolves the account acted on, runs the operation (or each request of a
// BatchRequest, in order, each answered under its requestId, or id before version 5) and wraps the
// answer or fault in an envelope.

#include <string_view>

#include "testserver/HttpAnswer.h"
#include "testserver/Operation.h"
#include "testserver/RequestLog.h"

namespace Tarvik::TestServer {

class SoapService {
  public:
    explicit SoapService(ServerState& state) : state_(state) {}

    HttpAnswer Handle(bool adminService, std::string_view contentType, std::string_view body,
                      RequestRecord& record);

  private:
    ServerState& state_;
};

// "requestId" when the version text (its leading number) is 5 or more, else "id".
const char* BatchIdAttribute(const std::string& serverVersion);

}  // namespace Tarvik::TestServer
