#include "tests/support/HttpScenario.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace TestSupport {

namespace {

constexpr std::string_view boundaryPlaceholder = "%{BOUNDARY}";
constexpr size_t boundaryLength = 28;
constexpr std::string_view boundaryStart = "--B-00=_";
constexpr std::string_view boundaryAlphabet =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz$%";

bool IsMarker(const std::string& line) {
    return line.starts_with("=== ") || line.starts_with(">>> ") || line.starts_with("<<< ") ||
           line == "===" || line == ">>>" || line == "<<<";
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

class Parser {
  public:
    Parser(const std::filesystem::path& file, std::map<std::string, std::string> variables)
        : file_(file), variables_(std::move(variables)) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            throw std::runtime_error("cannot read scenario " + file.string());
        }
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            lines_.push_back(line);
        }
        variables_.emplace("CRLF", "\r\n");
        variables_.emplace("LF", "\n");
    }

    std::vector<HttpScenario::Exchange> Parse() {
        std::vector<HttpScenario::Exchange> exchanges;
        std::optional<std::vector<std::string>> order;
        while (at_ < lines_.size()) {
            const std::string& line = lines_[at_];
            std::vector<std::string> words = Words(line);
            if (line.empty() || line.starts_with('#')) {
                ++at_;
            } else if (line.starts_with("=== include ") && words.size() == 3) {
                std::vector<HttpScenario::Exchange> included =
                    Parser(file_.parent_path() / words[2], variables_).Parse();
                exchanges.insert(exchanges.end(), included.begin(), included.end());
                ++at_;
            } else if (line.starts_with("=== sequence")) {
                ++at_;
                order = ReadSequence();
            } else if (line.starts_with("===")) {
                exchanges.emplace_back().name = words.size() > 1 ? words[1] : "";
                ++at_;
            } else if (line.starts_with(">>> request")) {
                RequireExchange(exchanges).request = ReadSection(words, true);
            } else if (line.starts_with("<<< ")) {
                ReadAnswer(RequireExchange(exchanges), words);
            } else {
                Fail("unexpected line");
            }
        }
        return order ? Ordered(exchanges, *order) : exchanges;
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error(file_.string() + ":" + std::to_string(at_ + 1) + ": " + what);
    }

    HttpScenario::Exchange& RequireExchange(std::vector<HttpScenario::Exchange>& exchanges) {
        if (exchanges.empty()) {
            exchanges.emplace_back();
        }
        return exchanges.back();
    }

    std::vector<std::string> ReadSequence() {
        std::vector<std::string> names;
        for (; at_ < lines_.size() && !IsMarker(lines_[at_]); ++at_) {
            if (!lines_[at_].starts_with('#')) {
                for (std::string& name : Words(lines_[at_])) {
                    names.push_back(std::move(name));
                }
            }
        }
        return names;
    }

    std::vector<HttpScenario::Exchange> Ordered(const std::vector<HttpScenario::Exchange>& exchanges,
                                                const std::vector<std::string>& order) const {
        std::vector<HttpScenario::Exchange> sequence;
        for (const std::string& name : order) {
            auto found = std::find_if(exchanges.begin(), exchanges.end(),
                                      [&](const auto& e) { return e.name == name; });
            if (found == exchanges.end()) {
                throw std::runtime_error(file_.string() + ": the sequence names an unknown exchange " + name);
            }
            sequence.push_back(*found);
        }
        return sequence;
    }

    void ReadAnswer(HttpScenario::Exchange& exchange, const std::vector<std::string>& words) {
        const std::string& kind = words.at(1);
        if (kind == "close" || kind == "reset" || kind == "silence") {
            exchange.action = kind == "close"   ? HttpScenario::Action::Close
                              : kind == "reset" ? HttpScenario::Action::Reset
                                                : HttpScenario::Action::Silence;
            ++at_;
            return;
        }
        if (kind != "reply") {
            Fail("unknown answer " + kind);
        }
        for (const std::string& option : words) {
            if (option.starts_with("delay=")) {
                exchange.delay = std::chrono::milliseconds(std::stoi(option.substr(6)));
            } else if (option.starts_with("cut=")) {
                exchange.cut = std::stoul(option.substr(4));
            } else if (option == "close") {
                exchange.closeAfterReply = true;
            }
        }
        exchange.reply = ReadSection(words, false);
    }

    // Reads the section that starts at the current marker line.
    std::string ReadSection(const std::vector<std::string>& markerWords, bool isRequest) {
        bool crlf = std::find(markerWords.begin(), markerWords.end(), "crlf") != markerWords.end();
        ++at_;
        std::vector<std::string> head;
        for (; at_ < lines_.size() && !IsMarker(lines_[at_]) && !lines_[at_].empty(); ++at_) {
            if (!lines_[at_].starts_with('#')) {
                head.push_back(lines_[at_]);
            }
        }
        std::vector<std::string> body;
        if (at_ < lines_.size() && lines_[at_].empty()) {
            for (++at_; at_ < lines_.size() && !IsMarker(lines_[at_]); ++at_) {
                body.push_back(lines_[at_]);
            }
        }
        while (!body.empty() && body.back().empty()) {
            body.pop_back();
        }
        std::string bodyText;
        for (size_t i = 0; i < body.size(); ++i) {
            bodyText += (i > 0 ? (crlf ? "\r\n" : "\n") : "") + body[i];
        }
        bodyText = Substitute(bodyText);
        size_t length = bodyText.size();
        if (isRequest) {
            // The boundary placeholder stands for a boundary of fixed length.
            size_t count = 0;
            for (size_t at = bodyText.find(boundaryPlaceholder); at != std::string::npos;
                 at = bodyText.find(boundaryPlaceholder, at + 1)) {
                ++count;
            }
            length = length - count * boundaryPlaceholder.size() + count * boundaryLength;
        }
        std::string headText;
        for (const std::string& line : head) {
            headText += line + "\r\n";
        }
        headText = Substitute(headText);
        ReplaceAll(headText, "%{LENGTH}", std::to_string(length));
        return headText + "\r\n" + bodyText;
    }

    // Fills %{NAME} with the test's variables; %{LENGTH} and %{BOUNDARY} stay for later.
    std::string Substitute(const std::string& text) const {
        std::string result;
        size_t at = 0;
        while (at < text.size()) {
            size_t start = text.find("%{", at);
            size_t end = start == std::string::npos ? std::string::npos : text.find('}', start);
            if (end == std::string::npos) {
                result.append(text, at);
                break;
            }
            result.append(text, at, start - at);
            std::string name = text.substr(start + 2, end - start - 2);
            auto value = variables_.find(name);
            if (value != variables_.end()) {
                result += value->second;
            } else if (name == "LENGTH" || name == "BOUNDARY") {
                result.append(text, start, end - start + 1);
            } else {
                throw std::runtime_error(file_.string() + ": no value for %{" + name + "}");
            }
            at = end + 1;
        }
        return result;
    }

    std::filesystem::path file_;
    std::map<std::string, std::string> variables_;
    std::vector<std::string> lines_;
    size_t at_ = 0;
};

std::string Excerpt(const std::string& text, size_t at) {
    size_t start = at > 40 ? at - 40 : 0;
    std::string excerpt = text.substr(start, 100);
    ReplaceAll(excerpt, "\r", "\\r");
    ReplaceAll(excerpt, "\n", "\\n");
    return excerpt;
}

bool IsBoundary(std::string_view text) {
    return text.size() == boundaryLength && text.starts_with(boundaryStart) &&
           text.substr(boundaryStart.size()).find_first_not_of(boundaryAlphabet) == std::string_view::npos;
}

}  // namespace

HttpScenario::HttpScenario(const std::filesystem::path& file, std::map<std::string, std::string> variables)
    : sequence_(Parser(file, std::move(variables)).Parse()) {}

std::string HttpScenario::Compare(const std::string& requestTemplate, const std::string& received) {
    size_t expectedAt = 0;
    size_t receivedAt = 0;
    std::optional<std::string> boundary;
    auto mismatch = [&](const std::string& why) {
        return why + " at byte " + std::to_string(receivedAt) + "\n  expected: ..." +
               Excerpt(requestTemplate, expectedAt) + "\n  received: ..." + Excerpt(received, receivedAt);
    };
    while (expectedAt < requestTemplate.size()) {
        size_t placeholder = requestTemplate.find(boundaryPlaceholder, expectedAt);
        size_t literalEnd = placeholder == std::string::npos ? requestTemplate.size() : placeholder;
        for (; expectedAt < literalEnd; ++expectedAt, ++receivedAt) {
            if (receivedAt >= received.size() || received[receivedAt] != requestTemplate[expectedAt]) {
                return mismatch("the request differs");
            }
        }
        if (placeholder == std::string::npos) {
            break;
        }
        std::string candidate = received.substr(receivedAt, boundaryLength);
        if (!IsBoundary(candidate) || (boundary && candidate != *boundary)) {
            return mismatch("no (or another) multipart boundary");
        }
        boundary = candidate;
        expectedAt += boundaryPlaceholder.size();
        receivedAt += boundaryLength;
    }
    if (receivedAt != received.size()) {
        return mismatch("the request is longer than expected");
    }
    return {};
}

}  // namespace TestSupport
