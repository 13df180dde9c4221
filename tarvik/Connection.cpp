#include "tarvik/Connection.h"

#include <curl/curl.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <exception>

#include "runtime/ImportParams.h"
#include "runtime/Log.h"
#include "runtime/SettingsStore.h"
#include "runtime/Text.h"
#include "tarvik/CurlErrors.h"
#include "tarvik/DumpFiles.h"
#include "tarvik/Request.h"
#include "tarvik/RpcException.h"
#include "tarvik/TarvikException.h"

namespace Tarvik::Rpc {

namespace {

constexpr const char* userAgent = "Tarvik Systems Client";
constexpr std::chrono::milliseconds defaultTimeout{900000};
// A SOAP answer larger than this is refused rather than exhausting memory.
constexpr size_t maxSoapAnswerBytes = size_t{256} << 20;

std::atomic<int32_t> requestDumpCounter{0};

void EnsureCurlInitialised() {
    static const bool initialised = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)initialised;
}

// The state one Post shares with libcurl's callbacks.
struct Exchange {
    Exchange(Connection::Body& body, const Connection::AnswerWriter& answer)
        : body(body), answer(answer), bodyLength(body.Length()) {}

    Connection::Body& body;
    const Connection::AnswerWriter& answer;
    uint64_t bodyLength;
    uint64_t bodySent = 0;
    TransferStage stage = TransferStage::SendingRequest;
    std::exception_ptr failure;
};

size_t ReadBody(char* buffer, size_t size, size_t count, void* data) {
    auto* exchange = static_cast<Exchange*>(data);
    size_t capacity = size * count;
    try {
        uint64_t left = exchange->bodyLength - exchange->bodySent;
        if (left < capacity) {
            capacity = static_cast<size_t>(left);
        }
        exchange->stage = TransferStage::SendingBody;
        size_t supplied = capacity > 0 ? exchange->body.Read(buffer, capacity) : 0;
        exchange->bodySent += supplied;
        if (exchange->bodySent == exchange->bodyLength) {
            exchange->stage = TransferStage::AwaitingAnswer;
        }
        return supplied;
    } catch (...) {
        exchange->failure = std::current_exception();
        return CURL_READFUNC_ABORT;
    }
}

int SeekBody(void* data, curl_off_t offset, int origin) {
    auto* exchange = static_cast<Exchange*>(data);
    if (offset != 0 || origin != SEEK_SET) {
        return CURL_SEEKFUNC_CANTSEEK;
    }
    try {
        exchange->body.Rewind();
    } catch (...) {
        exchange->failure = std::current_exception();
        return CURL_SEEKFUNC_FAIL;
    }
    exchange->bodySent = 0;
    exchange->stage = TransferStage::SendingRequest;
    return CURL_SEEKFUNC_OK;
}

size_t ReadHeader(char* buffer, size_t size, size_t count, void* data) {
    auto* exchange = static_cast<Exchange*>(data);
    std::string_view line(buffer, size * count);
    if (exchange->bodySent == exchange->bodyLength) {
        exchange->stage = TransferStage::AwaitingAnswer;
    }
    // The empty line ends a head; an interim 1xx head is followed by the real one.
    if (line == "\r\n" || line == "\n") {
        exchange->stage = TransferStage::ReadingAnswer;
    } else if (line.starts_with("HTTP/")) {
        exchange->stage = TransferStage::AwaitingAnswer;
    }
    return size * count;
}

size_t WriteAnswer(char* buffer, size_t size, size_t count, void* data) {
    auto* exchange = static_cast<Exchange*>(data);
    exchange->stage = TransferStage::ReadingAnswer;
    try {
        return exchange->answer(std::string_view(buffer, size * count)) ? size * count : 0;
    } catch (...) {
        exchange->failure = std::current_exception();
        return 0;
    }
}

// The name of the WinHTTP step that corresponds to a stage, for the log.
const char* FailingStep(TransferStage stage) {
    switch (stage) {
        case TransferStage::SendingRequest:
        case TransferStage::SendingBody:
            return "WinHttpSendRequest";
        case TransferStage::AwaitingAnswer:
            return "WinHttpReceiveResponse";
        default:
            return "WinHttpQueryDataAvailable";
    }
}

class TextBody : public Connection::Body {
  public:
    explicit TextBody(std::string_view text) : text_(text) {}
    uint64_t Length() const override { return text_.size(); }
    size_t Read(char* buffer, size_t capacity) override {
        size_t n = text_.copy(buffer, capacity, offset_);
        offset_ += n;
        return n;
    }
    void Rewind() override { offset_ = 0; }

  private:
    std::string_view text_;
    size_t offset_ = 0;
};

class HeaderList {
  public:
    explicit HeaderList(const std::vector<std::string>& lines) {
        // WinHTTP's cache-bypass flag adds the first two; curl's Expect and Accept are not wanted.
        for (const char* line : {"Cache-Control: no-cache", "Pragma: no-cache", "Accept:", "Expect:"}) {
            Append(line);
        }
        for (const std::string& line : lines) {
            Append(line.c_str());
        }
    }
    ~HeaderList() { curl_slist_free_all(list_); }
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;
    curl_slist* Get() const { return list_; }

  private:
    void Append(const char* line) {
        curl_slist* longer = curl_slist_append(list_, line);
        if (longer == nullptr) {
            throw std::bad_alloc();
        }
        list_ = longer;
    }
    curl_slist* list_ = nullptr;
};

}  // namespace

std::chrono::milliseconds ConfiguredTimeout() {
    std::optional<uint32_t> minutes = SettingsStore::User().ReadDword("Software\\Tarvik", "WConnectTimeout");
    return minutes ? std::chrono::milliseconds(int64_t{*minutes} * 60000) : defaultTimeout;
}

std::string_view SoapPath() {
    return GetImportParams().AdministrativeMode() ? "/service/admin/soap/" : "/service/soap/";
}

Connection::Connection(std::string host, uint32_t port, bool secure, bool ignoreCertificateErrors)
    : host_(std::move(host)),
      port_(port),
      secure_(secure),
      ignoreCertificateErrors_(ignoreCertificateErrors),
      timeout_(ConfiguredTimeout()) {
    EnsureCurlInitialised();
    curl_ = curl_easy_init();
    if (curl_ == nullptr) {
        throw std::bad_alloc();
    }
}

Connection::~Connection() {
    curl_easy_cleanup(curl_);
}

std::string Connection::Url(std::string_view path) const {
    bool ipv6Literal = host_.find(':') != std::string::npos && !host_.starts_with('[');
    std::string host = ipv6Literal ? "[" + host_ + "]" : host_;
    return (secure_ ? "https://" : "http://") + host + ":" + std::to_string(port_) + std::string(path);
}

HttpOutcome Connection::Post(std::string_view path, const std::vector<std::string>& headerLines, Body& body,
                             const AnswerWriter& answer) {
    CURL* curl = curl_;
    Exchange exchange(body, answer);
    HeaderList headers(headerLines);
    char errorText[CURL_ERROR_SIZE] = "";
    std::string url = Url(path);

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, userAgent);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.Get());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(exchange.bodyLength));
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadBody);
    curl_easy_setopt(curl, CURLOPT_READDATA, &exchange);
    curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, SeekBody);
    curl_easy_setopt(curl, CURLOPT_SEEKDATA, &exchange);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, ReadHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &exchange);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteAnswer);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &exchange);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    long lenient = ignoreCertificateErrors_ ? 0L : 1L;
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, lenient);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, ignoreCertificateErrors_ ? 0L : 2L);
    if (timeout_.count() > 0) {
        // WinHTTP's receive time-out is a limit on silence, not on the whole exchange.
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout_.count()));
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>((timeout_.count() + 999) / 1000));
    } else {
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(INT32_MAX));
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 0L);
    }

    CURLcode result = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    if (exchange.failure) {
        std::rethrow_exception(exchange.failure);
    }

    HttpOutcome outcome;
    outcome.errorCode = WinHttpErrorFromCurl(result);
    outcome.stage = result == CURLE_OK ? TransferStage::Complete : exchange.stage;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &outcome.httpStatus);
    if (result != CURLE_OK) {
        outcome.detail = errorText[0] != '\0' ? errorText : curl_easy_strerror(result);
    }
    return outcome;
}

const std::string& Connection::Send(std::string_view xml) {
    answer_.clear();
    TextBody body(xml);
    auto answer = [&](std::string_view piece) {
        if (answer_.size() + piece.size() > maxSoapAnswerBytes) {
            return false;
        }
        answer_.append(piece);
        return true;
    };
    HttpOutcome outcome =
        Post(SoapPath(), {"Content-Type: application/soap+xml; charset=utf-8"}, body, answer);
    if (outcome.errorCode != 0) {
        LogLine("RPC Error:- %s (curl: %s)", FailingStep(outcome.stage), outcome.detail.c_str());
        DumpFailedRequest(xml, outcome.stage);
        throw RpcException(outcome.errorCode);
    }
    return answer_;
}

void Connection::DumpFailedRequest(std::string_view xml, TransferStage stage) const {
    int32_t number = ++requestDumpCounter;
    std::optional<std::string> path =
        Util::WorkDirectoryPath(std::to_string(number) + "-RPCErrorRequest.xml");
    if (!path) {
        return;
    }
    LogLine("RPC Error:- %s failed. The RPC request is logged as %s", FailingStep(stage), path->c_str());
    std::optional<Xml::Document> request = Xml::Document::Parse(xml, nullptr, {.keepBlankText = true});
    if (!request) {
        return;
    }
    for (Xml::Node password : request->SelectNodes("//password")) {
        password.SetText("*******");
    }
    Util::WriteDumpFile(*path, request->ToString());
}

Xml::Document Connection::ExecuteAndParse(const Request& request) {
    const std::string& answer = Send(request.Document().ToString());
    std::optional<Xml::Document> document = Xml::Document::Parse(answer);
    return document ? std::move(*document) : Xml::Document();
}

}  // namespace Tarvik::Rpc
