#pragma once
// A refusal of the server: a SOAP fault with a dotted code (service.AUTH_EXPIRED, mail.NO_SUCH_FOLDER,
// ...) and a reason text. Operations throw it; the SOAP service turns it into a soap:Fault, either for
// the whole envelope or for one request inside a batch.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace Tarvik::TestServer {

class Fault : public std::runtime_error {
  public:
    // `sender` tells whether the client caused it (soap:Sender) or the server (soap:Receiver).
    Fault(std::string code, std::string reason, bool sender = true);

    const std::string& Code() const { return code_; }
    const std::string& Reason() const { return reason_; }
    bool IsSenderFault() const { return sender_; }

  private:
    std::string code_;
    std::string reason_;
    bool sender_;
};

// The faults the server raises, with the reason texts a Tarvik server gives for them.
namespace Faults {
Fault AuthRequired();
Fault AuthExpired();
Fault PermDenied(const std::string& detail);
Fault InvalidRequest(const std::string& detail);
Fault ParseError(const std::string& detail);
Fault UnknownDocument(const std::string& name);
Fault AuthFailed(const std::string& account, const std::string& detail = {});
Fault NoSuchAccount(const std::string& name);
Fault NoSuchDomain(const std::string& name);
Fault AlreadyExists(const std::string& name);
Fault InvalidName(const std::string& name);
Fault TooManyTags(int limit);
Fault NoSuchFolder(const std::string& id);
Fault NoSuchTag(const std::string& id);
Fault NoSuchUpload(const std::string& token);
Fault CannotContain(int64_t folderId);
Fault QuotaExceeded(int64_t quota);
Fault MessageParseError(const std::string& detail);
}  // namespace Faults

}  // namespace Tarvik::TestServer
