#pragma once
// Helpers for the PST tests: fixture files built from JSON descriptions, and a walk over a whole
// file that reads every folder, item, property, recipient and attachment.

#include <filesystem>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "pst/PstFile.h"

namespace PstTest {

std::filesystem::path FixtureDir();

// Writes the description (JSON text or a parsed object) to `path`.
void Build(const nlohmann::json& description, const std::filesystem::path& path);
nlohmann::json LoadFixture(const std::string& name);

struct WalkResult {
    std::map<std::string, size_t> items;  // folder path ("/Top/Inbox") -> contents rows
    size_t messages = 0;                  // messages opened, embedded ones included
    size_t attachments = 0;
    size_t searchFolders = 0;
    std::vector<std::string> problems;  // errors reported while the walk went on
};

// Reads everything reachable from the root folder; errors are collected, never thrown (except
// when the file cannot be opened at all).
WalkResult WalkEverything(pst::PstFile& file);

}  // namespace PstTest
