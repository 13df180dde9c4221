#pragma once
// mimepp::String: the byte string of every node of the MIME tree. Bytes are 8-bit and the length is
// explicit (NUL bytes are ordinary content).
//
// Copies and substrings share storage, and appending a long string shares its storage instead of
// copying it: a string is a sequence of slices of reference-counted buffers. That is what lets a
// message hold a 100 MiB encoded attachment once, although the body, its part, the multipart body
// and the message each have it as part of their text. Shared storage is never written to; appending
// writes in place only into a buffer this string alone holds. Reference counts are atomic, so copies
// may travel between threads; one String object itself must not be used by two threads at once.

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace mimepp {

class String {
  public:
    static constexpr size_t npos = std::string_view::npos;

    String() = default;
    String(const char* text);  // NUL-terminated; a null pointer gives the empty string
    String(const char* data, size_t length);
    String(std::string_view text);
    String(const std::string& text);
    String(std::string&& text);  // adopts the buffer without copying it

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // The bytes as one contiguous view. A string made of several slices is joined into one buffer
    // the first time (amortised). The view is valid until this string is changed or destroyed.
    std::string_view View() const;
    std::string Str() const;

    // Bytes [pos, pos + length) clamped to the string; shares storage.
    String Substr(size_t pos, size_t length = npos) const;

    String& Append(std::string_view bytes);
    String& Append(const char* text) { return Append(std::string_view(text)); }
    String& Append(const String& other);
    String& operator+=(std::string_view bytes) { return Append(bytes); }
    String& operator+=(const char* text) { return Append(text); }
    String& operator+=(const String& other) { return Append(other); }
    void Clear();

    // Hands each stored slice to fn(std::string_view) in order: writes the bytes out without joining.
    template <typename Fn>
    void ForEachPiece(Fn&& fn) const {
        for (const Slice& slice : slices_) {
            fn(slice.View());
        }
    }
    void WriteTo(std::ostream& out) const;

    friend bool operator==(const String& a, const String& b);
    friend bool operator==(const String& a, std::string_view b);
    friend bool operator==(const String& a, const char* b) { return a == std::string_view(b); }
    friend bool operator==(const String& a, const std::string& b) { return a == std::string_view(b); }
    friend std::ostream& operator<<(std::ostream& out, const String& text);

  private:
    struct Slice {
        std::shared_ptr<std::string> storage;
        size_t offset = 0;
        size_t length = 0;
        std::string_view View() const { return std::string_view(*storage).substr(offset, length); }
    };

    bool CanExtendInPlace() const;
    void AppendSlice(const Slice& slice);

    mutable std::vector<Slice> slices_;
    size_t size_ = 0;
};

String operator+(String a, const String& b);
String operator+(String a, std::string_view b);
String operator+(String a, const char* b);

}  // namespace mimepp
