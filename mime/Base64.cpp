#include "mime/Base64.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace mimepp {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kLineChars = 72;
constexpr size_t kLineBytes = kLineChars / 4 * 3;
// Lines are encoded into a small buffer and appended a block at a time.
constexpr size_t kBlockLines = 64;

// The two characters of every 12-bit value: one table look-up per half of a three-byte group.
struct PairTable {
    std::array<char, 8192> chars{};
    constexpr PairTable() {
        for (size_t value = 0; value < 4096; ++value) {
            chars[2 * value] = kAlphabet[value >> 6];
            chars[2 * value + 1] = kAlphabet[value & 63];
        }
    }
};
constexpr PairTable kPairs;

constexpr std::array<signed char, 256> MakeDecodeTable() {
    std::array<signed char, 256> table{};
    table.fill(-1);
    for (size_t i = 0; i < kAlphabet.size(); ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
    }
    return table;
}
constexpr std::array<signed char, 256> kDecode = MakeDecodeTable();

inline char* EncodeGroup(const unsigned char* in, char* out) {
    uint32_t value = (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
    std::memcpy(out, &kPairs.chars[2 * (value >> 12)], 2);
    std::memcpy(out + 2, &kPairs.chars[2 * (value & 0xFFF)], 2);
    return out + 4;
}

// Encodes `length` bytes (no line breaks) and returns the end of the output.
char* EncodeRun(const unsigned char* in, size_t length, char* out) {
    for (; length >= 3; length -= 3, in += 3) {
        out = EncodeGroup(in, out);
    }
    if (length > 0) {
        uint32_t value = uint32_t{in[0]} << 16;
        if (length == 2) {
            value |= uint32_t{in[1]} << 8;
        }
        out[0] = kAlphabet[value >> 18];
        out[1] = kAlphabet[(value >> 12) & 63];
        out[2] = length == 2 ? kAlphabet[(value >> 6) & 63] : '=';
        out[3] = '=';
        out += 4;
    }
    return out;
}

// Every fresh 4 KiB page of a large output costs a page fault, which on virtual machines costs more
// than encoding the page; 2 MiB pages cut that 512-fold where the kernel grants them on request.
// Only advice: nothing changes when it is refused.
void AdviseHugePages(std::string& buffer) {
    constexpr uintptr_t kHugePage = 2 * 1024 * 1024;
    if (buffer.capacity() < 2 * kHugePage) {
        return;
    }
    auto start = reinterpret_cast<uintptr_t>(buffer.data());
    uintptr_t begin = (start + kHugePage - 1) & ~(kHugePage - 1);
    uintptr_t end = (start + buffer.capacity()) & ~(kHugePage - 1);
    if (end > begin) {
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
}

size_t EncodedLength(size_t bytes) {
    return (bytes + 2) / 3 * 4;
}

}  // namespace

String Base64Encode(std::string_view bytes) {
    size_t characters = EncodedLength(bytes.size());
    size_t lines = (characters + kLineChars - 1) / kLineChars;
    std::string out;
    // Reserved, not resized: zero-filling the output first would cost one more pass over it.
    out.reserve(characters + 2 * lines);
    AdviseHugePages(out);
    char block[kBlockLines * (kLineChars + 2)];
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t remaining = bytes.size();
    while (remaining > 0) {
        char* cursor = block;
        for (size_t line = 0; line < kBlockLines && remaining > 0; ++line) {
            size_t take = std::min(remaining, kLineBytes);
            cursor = EncodeRun(in, take, cursor);
            *cursor++ = '\r';
            *cursor++ = '\n';
            in += take;
            remaining -= take;
        }
        out.append(block, static_cast<size_t>(cursor - block));
    }
    return String(std::move(out));
}

std::string Base64EncodeLine(std::string_view bytes) {
    std::string out;
    out.resize(EncodedLength(bytes.size()));
    EncodeRun(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out.data());
    return out;
}

String Base64Decode(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 2);
    uint32_t group = 0;
    int count = 0;
    auto flush = [&] {
        if (count >= 2) {
            out.push_back(static_cast<char>(group >> (6 * count - 8)));
        }
        if (count == 3) {
            out.push_back(static_cast<char>(group >> 2));
        }
        group = 0;
        count = 0;
    };
    for (unsigned char c : text) {
        signed char value = kDecode[c];
        if (value >= 0) {
            group = (group << 6) | static_cast<uint32_t>(value);
            if (++count == 4) {
                out.push_back(static_cast<char>(group >> 16));
                out.push_back(static_cast<char>(group >> 8));
                out.push_back(static_cast<char>(group));
                group = 0;
                count = 0;
            }
        } else if (c == '=') {
            flush();
        }
    }
    flush();
    return String(std::move(out));
}

}  // namespace mimepp
