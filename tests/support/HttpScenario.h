#pragma once
// A scripted HTTP conversation, read from a scenario file (in the manner of curl's test server):
// each exchange states the exact request bytes expected and what to answer.
//
//   # A comment (anywhere but inside a body).
//   === auth                        starts an exchange; the name is optional
//   >>> request                     the request expected
//   POST /service/soap/ HTTP/1.1    head lines: sent and compared with CR LF line ends
//   Content-Length: %{LENGTH}
//                                   an empty line ends the head; the body follows
//   <soap:Envelope>...</soap:Envelope>
//   <<< reply delay=200             the answer, after 200 ms
//   HTTP/1.1 200 OK
//   Content-Length: %{LENGTH}
//
//   ...body...
//   === sequence                    optional: the order of the exchanges by name (names may repeat);
//   auth info auth info             without it the exchanges are used once, in file order
//   === include logon.http          the exchanges of another scenario file (same folder), here
//
// Bodies are their lines joined by "\n" ("\r\n" when the section marker says crlf); trailing empty
// lines are dropped, so a body that must end in a line break ends with %{CRLF} or %{LF}.
// Reply options: delay=MS, cut=N (send the first N bytes, then reset the connection), close (close
// after answering). Instead of a reply: "<<< close" (close without answering), "<<< reset" (reset
// without answering), "<<< silence" (never answer).
// Placeholders: %{LENGTH} the section's body length, %{CRLF}, %{LF}, %{PORT} and variables the test
// gives; in requests %{BOUNDARY} matches any multipart boundary of the upload form ("--B-00=_" and
// twenty characters), the same one wherever it appears in the request.

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace TestSupport {

class HttpScenario {
  public:
    enum class Action { Reply, Close, Reset, Silence };

    struct Exchange {
        std::string name;
        std::string request;  // the request's template text
        Action action = Action::Reply;
        std::string reply;  // with placeholders resolved
        std::chrono::milliseconds delay{0};
        std::optional<size_t> cut;
        bool closeAfterReply = false;
    };

    // Reads the file; `variables` fill %{NAME}. Throws std::runtime_error naming the file and line.
    HttpScenario(const std::filesystem::path& file, std::map<std::string, std::string> variables);

    const std::vector<Exchange>& Sequence() const { return sequence_; }

    // Compares received request bytes with an exchange's request; an empty result means they match,
    // otherwise it says where they differ.
    static std::string Compare(const std::string& requestTemplate, const std::string& received);

  private:
    std::vector<Exchange> sequence_;
};

}  // namespace TestSupport
