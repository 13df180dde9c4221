#pragma once
// Non-ASCII header text: subjects and file names (EncodeHeaderText) and display names
// (EncodePhraseWords, used by Mailbox::SetDisplayName).

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mime/EncodedWord.h"

namespace mimepp {

// UTF-8 text as header text: unchanged when no byte is a control character or 0x80 and above;
// otherwise one encoded word "=?utf-8?q?...?=" holding the whole text, however long.
std::string EncodeHeaderText(std::string_view utf8Text);

// The words of a display name:
// - all bytes below 0x80: one plain word (charset "US-ASCII"), written as it is;
// - otherwise Q words when n + 2e < 4 * ((n + 2) / 3) (n bytes, e of them escaped by Q), else B
//   words. Q words end before the last white space that keeps them within 75 characters (the
//   space starts the next word, as "_"), or at the last whole character that fits; B words hold
//   at most 45 bytes. For a UTF-8 charset no word ever splits a UTF-8 sequence.
std::vector<std::unique_ptr<EncodedWord>> EncodePhraseWords(std::string_view bytes, std::string_view charset);

}  // namespace mimepp
