#include "runtime/SettingsStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace {

namespace fs = std::filesystem;

enum class ValueType { Dword, String, Binary, Comment };

// One line of a section: a typed value, or a comment / blank line kept as written.
struct Entry {
    ValueType type = ValueType::Comment;
    std::string name;
    std::string data;  // the value (DWORD as decimal text, binary as bytes) or the comment line
};

struct Section {
    std::string key;  // empty for lines before the first section
    std::vector<Entry> entries;
};

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

std::string Trim(std::string_view text) {
    size_t begin = text.find_first_not_of(" \t\r");
    size_t end = text.find_last_not_of(" \t\r");
    return begin == std::string_view::npos ? std::string() : std::string(text.substr(begin, end - begin + 1));
}

// Reads a quoted string starting at text[pos] == '"'; leaves pos after the closing quote.
std::optional<std::string> ReadQuoted(std::string_view text, size_t& pos) {
    std::string out;
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c == '\\' && pos + 1 < text.size()) {
            c = text[++pos];
            c = c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        }
        out += c;
    }
    return std::nullopt;
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";  // one value per line: line breaks inside a value are escaped
        } else if (c == '\r') {
            out += "\\r";
        } else {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
    }
    return out + "\"";
}

std::optional<Entry> ParseValue(std::string_view line) {
    size_t pos = 0;
    if (line.empty() || line[0] != '"') return std::nullopt;
    auto name = ReadQuoted(line, pos);
    if (!name || pos >= line.size() || line[pos] != '=') return std::nullopt;
    std::string_view rest = line.substr(pos + 1);
    Entry entry{ValueType::String, *name, {}};
    if (!rest.empty() && rest[0] == '"') {
        size_t at = 0;
        auto text = ReadQuoted(rest, at);
        if (!text) return std::nullopt;
        entry.data = *text;
    } else if (rest.starts_with("dword:")) {
        std::string digits(rest.substr(6));
        char* end = nullptr;
        unsigned long value = strtoul(digits.c_str(), &end, 16);
        if (digits.empty() || *end != '\0' || value > 0xFFFFFFFFul) return std::nullopt;
        entry.type = ValueType::Dword;
        entry.data = std::to_string(value);
    } else if (rest.starts_with("hex:")) {
        entry.type = ValueType::Binary;
        std::stringstream bytes{std::string(rest.substr(4))};
        for (std::string item; std::getline(bytes, item, ',');) {
            item = Trim(item);
            if (item.empty()) continue;
            char* end = nullptr;
            unsigned long value = strtoul(item.c_str(), &end, 16);
            if (*end != '\0' || value > 0xFF) return std::nullopt;
            entry.data += static_cast<char>(value);
        }
    } else {
        return std::nullopt;
    }
    return entry;
}

std::vector<Section> Load(const fs::path& file) {
    std::vector<Section> sections(1);
    std::ifstream in(file);
    for (std::string raw; std::getline(in, raw);) {
        std::string line = Trim(raw);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            sections.push_back({line.substr(1, line.size() - 2), {}});
        } else if (auto value = ParseValue(line)) {
            sections.back().entries.push_back(*value);
        } else {
            // Comments, blank lines and lines we cannot read stay as they are.
            sections.back().entries.push_back({ValueType::Comment, {}, raw});
        }
    }
    return sections;
}

std::string Serialise(const std::vector<Section>& sections) {
    std::string out;
    for (const Section& section : sections) {
        if (!section.key.empty()) out += "[" + section.key + "]\n";
        for (const Entry& entry : section.entries) {
            switch (entry.type) {
                case ValueType::Comment: out += entry.data; break;
                case ValueType::String: out += Quote(entry.name) + "=" + Quote(entry.data); break;
                case ValueType::Dword: {
                    char hex[16];
                    snprintf(hex, sizeof hex, "%08lx", std::stoul(entry.data));
                    out += Quote(entry.name) + "=dword:" + hex;
                    break;
                }
                case ValueType::Binary: {
                    out += Quote(entry.name) + "=hex:";
                    for (size_t i = 0; i < entry.data.size(); ++i) {
                        char hex[4];
                        snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(entry.data[i]));
                        out += (i ? "," : "") + std::string(hex);
                    }
                    break;
                }
            }
            out += "\n";
        }
    }
    return out;
}

Section* FindSection(std::vector<Section>& sections, std::string_view key) {
    for (Section& section : sections) {
        if (!section.key.empty() && EqualNoCase(section.key, key)) return &section;
    }
    return nullptr;
}

std::optional<std::string> FindValue(const fs::path& file, std::string_view key, std::string_view name,
                                     ValueType type) {
    std::vector<Section> sections = Load(file);
    Section* section = FindSection(sections, key);
    if (section == nullptr) return std::nullopt;
    for (const Entry& entry : section->entries) {
        if (entry.type != ValueType::Comment && EqualNoCase(entry.name, name)) {
            return entry.type == type ? std::optional<std::string>(entry.data) : std::nullopt;
        }
    }
    return std::nullopt;
}

void WriteAtomically(const fs::path& file, const std::string& content) {
    std::error_code ignored;
    fs::create_directories(file.parent_path(), ignored);
    fs::path temporary = file;
    temporary += ".tmp";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = fd >= 0 && write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()) &&
              fsync(fd) == 0;
    if (fd >= 0) close(fd);
    if (!ok || rename(temporary.c_str(), file.c_str()) != 0) {
        unlink(temporary.c_str());
        throw std::runtime_error("cannot write the settings file " + file.string());
    }
}

// Serialises read-modify-write cycles of concurrent processes on the same file.
class FileLock {
public:
    explicit FileLock(const fs::path& file) {
        std::error_code ignored;
        fs::create_directories(file.parent_path(), ignored);
        fs::path lockFile = file;
        lockFile += ".lock";
        fd_ = open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) flock(fd_, LOCK_EX);
    }
    ~FileLock() {
        if (fd_ >= 0) close(fd_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

template <typename Change>
void Modify(const fs::path& file, Change change) {
    FileLock lock(file);
    std::vector<Section> sections = Load(file);
    change(sections);
    WriteAtomically(file, Serialise(sections));
}

void SetValue(const fs::path& file, std::string_view key, std::string_view name, ValueType type,
              std::string data) {
    Modify(file, [&](std::vector<Section>& sections) {
        Section* section = FindSection(sections, key);
        if (section == nullptr) {
            sections.push_back({std::string(key), {}});
            section = &sections.back();
        }
        for (Entry& entry : section->entries) {
            if (entry.type != ValueType::Comment && EqualNoCase(entry.name, name)) {
                entry.type = type;
                entry.data = std::move(data);
                return;
            }
        }
        section->entries.push_back({type, std::string(name), std::move(data)});
    });
}

fs::path DefaultFile() {
    if (const char* path = getenv("TVKIMPORT_REGISTRY"); path != nullptr && *path != '\0') return path;
    if (const char* config = getenv("XDG_CONFIG_HOME"); config != nullptr && *config != '\0') {
        return fs::path(config) / "tvkimport" / "registry.ini";
    }
    const char* home = getenv("HOME");
    return fs::path(home != nullptr ? home : "/") / ".config" / "tvkimport" / "registry.ini";
}

}  // namespace

SettingsStore::SettingsStore(fs::path file) : file_(std::move(file)) {}

SettingsStore& SettingsStore::User() {
    static SettingsStore store(DefaultFile());
    return store;
}

bool SettingsStore::HasKey(std::string_view key) const {
    std::vector<Section> sections = Load(file_);
    return FindSection(sections, key) != nullptr;
}

std::vector<std::string> SettingsStore::SubKeys(std::string_view key) const {
    std::string prefix = std::string(key) + "\\";
    std::vector<std::string> names;
    for (const Section& section : Load(file_)) {
        if (section.key.size() <= prefix.size() || !EqualNoCase(section.key.substr(0, prefix.size()), prefix)) {
            continue;
        }
        std::string name = section.key.substr(prefix.size());
        name = name.substr(0, name.find('\\'));
        bool known = false;
        for (const std::string& n : names) {
            known = known || EqualNoCase(n, name);
        }
        if (!known) {
            names.push_back(name);
        }
    }
    return names;
}

std::optional<uint32_t> SettingsStore::ReadDword(std::string_view key, std::string_view name) const {
    auto value = FindValue(file_, key, name, ValueType::Dword);
    return value ? std::optional<uint32_t>(std::stoul(*value)) : std::nullopt;
}

std::optional<std::string> SettingsStore::ReadString(std::string_view key, std::string_view name) const {
    return FindValue(file_, key, name, ValueType::String);
}

std::optional<std::string> SettingsStore::ReadBinary(std::string_view key, std::string_view name) const {
    return FindValue(file_, key, name, ValueType::Binary);
}

void SettingsStore::WriteDword(std::string_view key, std::string_view name, uint32_t value) {
    SetValue(file_, key, name, ValueType::Dword, std::to_string(value));
}

void SettingsStore::WriteString(std::string_view key, std::string_view name, std::string_view value) {
    SetValue(file_, key, name, ValueType::String, std::string(value));
}

void SettingsStore::WriteBinary(std::string_view key, std::string_view name, std::string_view bytes) {
    SetValue(file_, key, name, ValueType::Binary, std::string(bytes));
}

void SettingsStore::DeleteValue(std::string_view key, std::string_view name) {
    Modify(file_, [&](std::vector<Section>& sections) {
        if (Section* section = FindSection(sections, key)) {
            std::erase_if(section->entries, [&](const Entry& entry) {
                return entry.type != ValueType::Comment && EqualNoCase(entry.name, name);
            });
        }
    });
}

void SettingsStore::DeleteKey(std::string_view key) {
    std::string prefix = std::string(key) + "\\";
    Modify(file_, [&](std::vector<Section>& sections) {
        std::erase_if(sections, [&](const Section& section) {
            return !section.key.empty() &&
                   (EqualNoCase(section.key, key) ||
                    (section.key.size() > prefix.size() && EqualNoCase(section.key.substr(0, prefix.size()), prefix)));
        });
    });
}
