#pragma once
// Root of the exceptions for server faults and the program's own protocol errors. Carries the
// fault code (a dotted server code such as "service.AUTH_EXPIRED", or a short text of the program's
// own such as "contact_no_fields") and the message meant for the user and the log. Thrown by value,
// caught by reference.

#include <string>
#include <utility>

namespace Tarvik {

class TarvikException {
public:
    TarvikException(std::string message, std::string code)
        : message_(std::move(message)), code_(std::move(code)) {}
    virtual ~TarvikException() = default;

    virtual const std::string& Code() const { return code_; }
    virtual const std::string& Message() const { return message_; }

private:
    std::string message_;
    std::string code_;
};

}  // namespace Tarvik
