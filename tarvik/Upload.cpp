#include "tarvik/Upload.h"

#include <fmt/format.h>
#include <fmt/printf.h>
#include <sys/time.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <random>
#include <stdexcept>

#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "tarvik/Connection.h"
#include "tarvik/DumpFiles.h"
#include "tarvik/Mailbox.h"
#include "tarvik/MessageStream.h"
#include "tarvik/TarvikFaults.h"

namespace Tarvik::Mail {

namespace {

// "$" twice and no "%": servers that percent-decode header values (as cpp-httplib does) would read a
// boundary holding "%" and two hexadecimal digits as another boundary than the one in the form, and
// refuse the upload.
constexpr std::string_view boundaryAlphabet =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz$$";
constexpr std::string_view defaultPartHeader =
    "Content-Disposition: form-data; name=\"kvlib32\"; filename=\"kvlib32.bin\"\r\n"
    "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: binary\r\n\r\n";
constexpr std::string_view requestIdPart =
    "Content-Disposition: form-data; name=\"requestId\"\r\n\r\nfrfkh86-rmptai-dn\r\n";
constexpr std::string_view uploadPath = "/service/upload?fmt=raw";
constexpr size_t pieceSize = size_t{1} << 20;
constexpr size_t maxAnswerBytes = size_t{1} << 20;

std::atomic<uint32_t> uploadCounter{0};

bool HasControlCharacters(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// Keeps a copy of the content that failed to upload, for diagnosis.
void DumpUploadRequest(std::string_view label, const MessageStream& content) {
    timeval now{};
    gettimeofday(&now, nullptr);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    std::string name = fmt::sprintf("upload_request%02d%02d%d_%02d%02d%02d%03d.txt", local.tm_mon + 1,
                                    local.tm_mday, local.tm_year + 1900, local.tm_hour, local.tm_min,
                                    local.tm_sec, static_cast<int>(now.tv_usec / 1000));
    std::optional<std::string> path = Util::WorkDirectoryPath(name);
    if (!path) {
        return;
    }
    Util::DumpFile file(*path);
    std::string piece(pieceSize, '\0');
    try {
        uint64_t size = content.Size();
        for (uint64_t offset = 0; file.IsOpen() && offset < size;) {
            size_t got = content.ReadAt(offset, piece.data(), piece.size());
            if (got == 0 || !file.Write(std::string_view(piece.data(), got))) {
                break;
            }
            offset += got;
        }
    } catch (const std::exception&) {
        // The copy is incomplete; the log line below still names it.
    }
    LogLine("%.*s: Request file is: %s", static_cast<int>(label.size()), label.data(), path->c_str());
}

// The form around the content: prefix, content, suffix, handed out in pieces.
class FormBody : public Rpc::Connection::Body {
  public:
    FormBody(std::string prefix, const MessageStream& content, uint64_t contentLength, std::string suffix)
        : prefix_(std::move(prefix)),
          content_(content),
          contentLength_(contentLength),
          suffix_(std::move(suffix)) {}

    uint64_t Length() const override { return prefix_.size() + contentLength_ + suffix_.size(); }
    void Rewind() override { position_ = 0; }

    size_t Read(char* buffer, size_t capacity) override {
        size_t written = 0;
        while (written < capacity && position_ < Length()) {
            written += ReadPart(buffer + written, capacity - written);
        }
        return written;
    }

  private:
    size_t ReadPart(char* buffer, size_t capacity) {
        uint64_t contentEnd = prefix_.size() + contentLength_;
        size_t n = 0;
        if (position_ < prefix_.size()) {
            n = prefix_.copy(buffer, capacity, static_cast<size_t>(position_));
        } else if (position_ < contentEnd) {
            uint64_t left = contentEnd - position_;
            n = content_.ReadAt(position_ - prefix_.size(), buffer,
                                static_cast<size_t>(std::min<uint64_t>(capacity, left)));
            if (n == 0) {
                throw std::runtime_error("the message ended before its announced size");
            }
        } else {
            n = suffix_.copy(buffer, capacity, static_cast<size_t>(position_ - contentEnd));
        }
        position_ += n;
        return n;
    }

    std::string prefix_;
    const MessageStream& content_;
    uint64_t contentLength_;
    std::string suffix_;
    uint64_t position_ = 0;
};

// The upload answer, with a carriage return put before every bare line feed.
class UploadAnswer {
  public:
    bool Append(std::string_view piece) {
        for (char c : piece) {
            if (c == '\n' && last_ != '\r') {
                Put('\r');
            }
            Put(c);
            last_ = c;
        }
        return true;
    }
    bool TooLong() const { return tooLong_; }
    const std::string& Text() const { return text_; }

  private:
    void Put(char c) {
        if (text_.size() < maxAnswerBytes) {
            text_ += c;
        } else {
            tooLong_ = true;
        }
    }
    std::string text_;
    char last_ = '\0';
    bool tooLong_ = false;
};

}  // namespace

std::string MakeUploadBoundary(time_t now) {
    std::string boundary = "--B-";
    boundary += boundaryAlphabet[0];
    boundary += boundaryAlphabet[0];
    boundary += "=_";
    auto seconds = static_cast<uint64_t>(now);
    for (uint64_t divisor : {1, 36, 1296, 46656}) {
        boundary += boundaryAlphabet[(seconds / divisor) % 36];
    }
    std::minstd_rand random(++uploadCounter);
    for (int group = 0; group < 4; ++group) {
        uint32_t r = static_cast<uint32_t>(random()) & 0x7FFF;
        for (int shift : {0, 6, 12, 18}) {
            boundary += boundaryAlphabet[(r >> shift) & 63];
        }
    }
    return boundary;
}

std::optional<std::string> ParseUploadToken(std::string_view answer) {
    size_t first = answer.find(',');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    size_t second = answer.find(',', first + 1);
    if (second == std::string_view::npos || second + 2 > answer.size()) {
        return std::nullopt;
    }
    std::string_view token = answer.substr(second + 2);
    token = token.substr(0, token.find('\''));
    if (token.empty()) {
        return std::nullopt;
    }
    return std::string(token);
}

std::string UploadPartHeader(std::string_view name, std::string_view mediaType) {
    std::string safeName;
    for (char c : name) {
        switch (c) {
            case '"':
                safeName += "%22";
                break;
            case '\r':
                safeName += "%0D";
                break;
            case '\n':
                safeName += "%0A";
                break;
            default:
                safeName += c;
        }
    }
    return "Content-Disposition: form-data; name=\"" + safeName + "\"; filename=\"" + safeName +
           "\"\r\nContent-Type: " + std::string(mediaType) + "\r\n\r\n";
}

std::optional<std::string> DoFileUpload(const std::optional<std::string>& partHeader,
                                        Rpc::Connection& connection,
                                        const std::optional<std::string>& authToken,
                                        const MessageStream& content) {
    if (!authToken || authToken->empty()) {
        LogLine("DoFileUpload NULL authtoken.  Make sure the domain name exists.");
        return std::nullopt;
    }
    if (HasControlCharacters(*authToken)) {
        // It goes into a header line, where a line break would start a header of the server's choosing.
        LogLine("DoFileUpload Error: the auth token holds control characters.");
        return std::nullopt;
    }
    uint64_t contentLength = 0;
    try {
        contentLength = content.Size();
    } catch (const std::exception& error) {
        LogLine("DoFileUpload Error: NormalizeOutgoingMime Failed. (%s)", error.what());
        return std::nullopt;
    }

    std::string boundary = MakeUploadBoundary(time(nullptr));
    std::string header(partHeader.value_or(std::string(defaultPartHeader)));
    FormBody body(fmt::format("--{}\r\n{}--{}\r\n{}", boundary, requestIdPart, boundary, header), content,
                  contentLength, fmt::format("\r\n--{}--\r\n", boundary));
    std::string cookie = GetImportParams().adminMode ? "TV_ADMIN_AUTH_TOKEN" : "TV_AUTH_TOKEN";
    std::vector<std::string> headerLines = {"Cookie: " + cookie + "=" + *authToken,
                                            "Content-Type: multipart/form-data; boundary=" + boundary};

    UploadAnswer answer;
    Rpc::HttpOutcome outcome;
    try {
        outcome = connection.Post(uploadPath, headerLines, body,
                                  [&](std::string_view piece) { return answer.Append(piece); });
    } catch (const std::exception& error) {
        LogLine("DoFileUpload Error: WriteToHttp Failed (%s)", error.what());
        DumpUploadRequest("DoFileUpload:WriteToHttp failed", content);
        return std::nullopt;
    }

    if (outcome.errorCode != 0) {
        if (outcome.stage == Rpc::TransferStage::SendingRequest) {
            LogLine("DoFileUpload Error: WinHttpSendRequest for headers Failed: (%d) %s",
                    static_cast<int>(outcome.errorCode), outcome.detail.c_str());
            return std::nullopt;
        }
        if (outcome.stage == Rpc::TransferStage::SendingBody) {
            LogLine("DoFileUpload Error: WriteToHttp Failed (%d) %s", static_cast<int>(outcome.errorCode),
                    outcome.detail.c_str());
            DumpUploadRequest("DoFileUpload:WriteToHttp failed", content);
            return std::nullopt;
        }
        LogLine("DoFileUpload Error: receiving the answer failed: (%d) %s",
                static_cast<int>(outcome.errorCode), outcome.detail.c_str());
    }
    if (answer.TooLong()) {
        LogLine("DoFileUpload Error: the answer is longer than 1 MB.");
        return std::nullopt;
    }
    if (std::optional<std::string> token = ParseUploadToken(answer.Text())) {
        return token;
    }
    if (answer.Text().find("authtoken expired") != std::string::npos) {
        throw TarvikServiceException::AuthExpired("DoFileUpload:authtoken expired");
    }
    DumpUploadRequest("DoFileUpload Failed", content);
    LogLine("HTTP Response: %s ", answer.Text().c_str());
    return std::nullopt;
}

std::optional<std::string> UploadWithRelogon(Mailbox& mailbox, const MessageStream& content,
                                             const std::optional<std::string>& partHeader) {
    for (int trial = 1;; ++trial) {
        try {
            return DoFileUpload(partHeader, mailbox.Connection(), mailbox.Session().authToken, content);
        } catch (const TarvikServiceException::AuthExpired&) {
            LogLine("**INFO**AuthToken Expired: ReLogon Trial:%d", trial);
            mailbox.ReLogon();
            if (trial >= 3) {
                return std::nullopt;
            }
        }
    }
}

}  // namespace Tarvik::Mail
