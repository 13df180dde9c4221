#pragma once
// A structural check of a MIME message, strict enough that a faulty composer is caught and the
// message refused: header sections with CR LF line ends and well-formed fields, multipart bodies
// with their boundary lines, and bodies that fit their Content-Transfer-Encoding. It does not decode
// anything; it also collects the few header values the dump shows.

#include <stdexcept>
#include <string>
#include <string_view>

namespace Tarvik::TestServer {

class MimeError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct MimeSummary {
    std::string subject;    // decoded to UTF-8, empty without a Subject field
    std::string messageId;  // as written, unfolded and trimmed
    int leafParts = 0;      // bodies that are not multipart containers
};

// Throws MimeError naming the first problem found.
MimeSummary CheckMime(std::string_view message);

}  // namespace Tarvik::TestServer
