#pragma once
// The two obfuscations a PST may apply to the data of external blocks: "permute" (a byte
// substitution, what Outlook calls compressible encryption) and "cyclic" (high encryption, keyed by
// the block id). Neither is real security; they only have to be undone exactly.

#include <cstdint>
#include <span>
#include <string>

namespace pst {

enum class Encryption : uint8_t { None = 0, Permute = 1, Cyclic = 2 };

std::string EncryptionName(Encryption e);

// In-place transforms of one block's data; `key` is the low 32 bits of the block id (cyclic only).
void DecodeBlock(Encryption e, std::span<uint8_t> data, uint32_t key);
void EncodeBlock(Encryption e, std::span<uint8_t> data, uint32_t key);

}  // namespace pst
