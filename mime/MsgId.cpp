#include "mime/MsgId.h"

#include <unistd.h>

#include <ctime>

#include "mime/CharClasses.h"
#include "mime/UniqueCounter.h"

namespace mimepp {
namespace {

std::string Hex(uint64_t value, int digits) {
    static constexpr std::string_view kHexDigits = "0123456789ABCDEF";
    std::string out(static_cast<size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i) {
        out[static_cast<size_t>(i)] = kHexDigits[value & 0xF];
        value >>= 4;
    }
    return out;
}

}  // namespace

const String& MsgId::LocalPart() const {
    EnsureParsed();
    return localPart_;
}

const String& MsgId::Domain() const {
    EnsureParsed();
    return domain_;
}

void MsgId::CreateDefault() {
    auto seconds = static_cast<uint64_t>(std::time(nullptr));
    std::string local = Hex(seconds & 0xFFFFFFFF, 8) + "." + Hex(NextUniqueCounter() & 0xFFFFFF, 6) + "." +
                        Hex(static_cast<uint64_t>(gettid()) & 0xFFFFF, 5);
    EnsureParsed();
    localPart_ = local;
    domain_ = kDefaultHostName;
    SetModified();
}

void MsgId::Parse() {
    MarkParsed();
    std::string_view text = chars::TrimWhiteSpace(text_.View());
    size_t open = text.find('<');
    if (open != std::string_view::npos) {
        text = text.substr(open + 1);
    }
    // A closing bracket ends the identifier even when the opening one is missing, so it never
    // ends up inside the domain (and doubled when the identifier is written again).
    text = text.substr(0, text.find('>'));
    size_t at = text.rfind('@');
    localPart_ = text.substr(0, at);
    domain_ = at == std::string_view::npos ? std::string_view() : text.substr(at + 1);
    ClearModified();
}

void MsgId::Assemble() {
    EnsureParsed();
    if (!IsModified()) {
        return;
    }
    String text;
    if (!localPart_.empty() || !domain_.empty()) {
        text = "<" + localPart_ + "@" + domain_ + ">";
    }
    StoreAssembled(text);
}

std::unique_ptr<Node> MsgId::Clone() const {
    return std::unique_ptr<Node>(new MsgId(*this));
}

}  // namespace mimepp
