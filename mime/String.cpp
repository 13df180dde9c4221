#include "mime/String.h"

#include <algorithm>
#include <cstring>

namespace mimepp {
namespace {

// Appending a string shorter than this copies its bytes: a few hundred bytes are cheaper to copy
// than to track as a slice of their own.
constexpr size_t kShareThreshold = 1024;
constexpr size_t kMinimumCapacity = 64;

}  // namespace

String::String(const char* text) : String(text ? std::string_view(text) : std::string_view()) {}

String::String(const char* data, size_t length) : String(std::string_view(data, data ? length : 0)) {}

String::String(std::string_view text) {
    Append(text);
}

String::String(const std::string& text) : String(std::string_view(text)) {}

String::String(std::string&& text) {
    if (!text.empty()) {
        size_ = text.size();
        slices_.push_back({std::make_shared<std::string>(std::move(text)), 0, size_});
    }
}

std::string_view String::View() const {
    if (slices_.empty()) {
        return {};
    }
    if (slices_.size() > 1) {
        auto joined = std::make_shared<std::string>();
        joined->reserve(size_);
        for (const Slice& slice : slices_) {
            joined->append(slice.View());
        }
        slices_.assign(1, Slice{std::move(joined), 0, size_});
    }
    return slices_.front().View();
}

std::string String::Str() const {
    std::string out;
    out.reserve(size_);
    ForEachPiece([&](std::string_view piece) { out.append(piece); });
    return out;
}

String String::Substr(size_t pos, size_t length) const {
    String out;
    if (pos >= size_) {
        return out;
    }
    length = std::min(length, size_ - pos);
    for (const Slice& slice : slices_) {
        if (length == 0) {
            break;
        }
        if (pos >= slice.length) {
            pos -= slice.length;
            continue;
        }
        size_t take = std::min(length, slice.length - pos);
        out.AppendSlice({slice.storage, slice.offset + pos, take});
        length -= take;
        pos = 0;
    }
    return out;
}

bool String::CanExtendInPlace() const {
    if (slices_.empty()) {
        return false;
    }
    const Slice& last = slices_.back();
    return last.storage.use_count() == 1 && last.offset + last.length == last.storage->size();
}

String& String::Append(std::string_view bytes) {
    if (bytes.empty()) {
        return *this;
    }
    if (CanExtendInPlace()) {
        slices_.back().storage->append(bytes);
        slices_.back().length += bytes.size();
    } else {
        auto storage = std::make_shared<std::string>();
        storage->reserve(std::max(bytes.size(), kMinimumCapacity));
        storage->append(bytes);
        slices_.push_back({std::move(storage), 0, bytes.size()});
    }
    size_ += bytes.size();
    return *this;
}

String& String::Append(const String& other) {
    if (&other == this) {
        String copy = other;
        return Append(copy);
    }
    if (other.size_ < kShareThreshold) {
        other.ForEachPiece([this](std::string_view piece) { Append(piece); });
        return *this;
    }
    for (const Slice& slice : other.slices_) {
        AppendSlice(slice);
    }
    return *this;
}

void String::AppendSlice(const Slice& slice) {
    if (slice.length == 0) {
        return;
    }
    if (!slices_.empty()) {
        Slice& last = slices_.back();
        if (last.storage == slice.storage && last.offset + last.length == slice.offset) {
            last.length += slice.length;
            size_ += slice.length;
            return;
        }
    }
    slices_.push_back(slice);
    size_ += slice.length;
}

void String::Clear() {
    slices_.clear();
    size_ = 0;
}

void String::WriteTo(std::ostream& out) const {
    ForEachPiece(
        [&](std::string_view piece) { out.write(piece.data(), static_cast<std::streamsize>(piece.size())); });
}

bool operator==(const String& a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    size_t pos = 0;
    bool equal = true;
    a.ForEachPiece([&](std::string_view piece) {
        if (equal && std::memcmp(piece.data(), b.data() + pos, piece.size()) != 0) {
            equal = false;
        }
        pos += piece.size();
    });
    return equal;
}

bool operator==(const String& a, const String& b) {
    return a.size() == b.size() && a == b.View();
}

std::ostream& operator<<(std::ostream& out, const String& text) {
    text.WriteTo(out);
    return out;
}

String operator+(String a, const String& b) {
    return std::move(a.Append(b));
}
String operator+(String a, std::string_view b) {
    return std::move(a.Append(b));
}
String operator+(String a, const char* b) {
    return std::move(a.Append(b));
}

}  // namespace mimepp
