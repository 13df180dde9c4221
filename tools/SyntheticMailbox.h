#pragma once
// Large, realistic-looking mailboxes for benchmarks: a tree of folders, messages with text and
// HTML bodies, recipients, and attachments sized so that the file reaches a target size. The same
// options and seed always give the same file.

#include <cstdint>
#include <string>

#include "pst/Crypt.h"

namespace pstgen {

struct SyntheticOptions {
    int folders = 20;
    int messages = 50000;
    uint64_t targetBytes = 1ull << 30;
    double attachmentRatio = 0.25;  // share of messages with an attachment
    uint32_t seed = 1;
    pst::Encryption encryption = pst::Encryption::Permute;
};

void WriteSyntheticMailbox(const std::string& path, const SyntheticOptions& options);

}  // namespace pstgen
