#pragma once
// A transport failure: the request did not reach the server or no usable answer came back. Carries
// a WinHTTP-style error code (12002 time-out, 12007 name not resolved, 12029 cannot connect,
// 12030 connection reset, 12152 invalid response, 12175 certificate failure, ...).

#include <cstdint>
#include <string>

namespace Tarvik::Rpc {

class RpcException {
  public:
    explicit RpcException(uint32_t errorCode) : errorCode_(errorCode) {}
    virtual ~RpcException() = default;

    uint32_t ErrorCode() const { return errorCode_; }

    // What went wrong, in English, for the log: the WinHTTP text of the code, else the system's
    // message for it, else "Unknown Error <hex code>".
    std::string Description() const;
    // The same for the user: the localised text of the code's key (ERR_WINHTTP_...); codes without a
    // key give Description().
    std::string LocalizedDescription() const;

  private:
    uint32_t errorCode_;
};

}  // namespace Tarvik::Rpc
