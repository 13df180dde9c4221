#pragma once
// Many requests in one envelope. Each appended request element is tagged with its request id, under
// the attribute name the server version expects, so that the answer's per-item results and faults
// can be found again (see RequestIdAttribute).

#include <cstdint>
#include <string_view>

#include "tarvik/Request.h"

namespace Tarvik::Rpc {

class BatchRequest : public Request {
  public:
    BatchRequest();

    // Moves the request element of `request` into the batch and tags it with `requestId`. `request`
    // keeps an empty envelope. Returns 0 or an HRESULT-style failure status (logged); never throws.
    int32_t AppendRequest(Request& request, int64_t requestId);

  private:
    Xml::Node _pBatchRequestElement;
};

// The attribute that carries request ids in batches and their answers: "requestId" from server
// version 5 on, "id" before (and when the version is empty or unreadable).
std::string_view RequestIdAttribute(std::string_view serverVersion);
// The same for the job's server version.
std::string_view RequestIdAttribute();

}  // namespace Tarvik::Rpc
