#pragma once
// Builds a PST from a JSON description (the format is documented in tools/README.md). Relative
// file names inside the description are resolved against `baseDir`.

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "pst/PstWriter.h"

namespace pstgen {

// Throws pst::Error (or nlohmann::json::exception) naming what in the description is wrong.
void WriteDescription(const nlohmann::json& description, const std::filesystem::path& baseDir,
                      const std::string& outputPath);

// One property of a description: its key ("PR_SUBJECT", "0x0037001F", "named:SET:ID:TYPE") and
// its JSON value, resolved against the writer (named properties are registered there).
std::pair<uint32_t, pst::Value> ParseProperty(pst::PstWriter& writer, const std::string& key,
                                              const nlohmann::json& value,
                                              const std::filesystem::path& baseDir);

// "2024-03-01T10:00:00Z" (or with a "+hh:mm" offset) as a FILETIME.
int64_t ParseIsoTime(const std::string& text);

}  // namespace pstgen
