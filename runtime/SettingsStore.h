#pragma once
// The per-user settings store that stands in for the registry: typed values (DWORD, string, binary)
// under key paths such as "Software\Tarvik". It lives in one human-editable file,
// ${XDG_CONFIG_HOME:-~/.config}/tvkimport/registry.ini (TVKIMPORT_REGISTRY overrides), in the syntax
// of Windows .reg files:
//
//   ; comment
//   [Software\Tarvik]
//   "ErrorThreshold"=dword:00000005
//   "LastServer"="mail.example.com"      (escapes: \" \\ \n \r)
//   "Blob"=hex:01,ab,ff
//
// Key paths and value names compare without regard to ASCII case, as in the registry. Every read sees
// the file as it is now; every write replaces the file atomically (write to a temporary file, fsync,
// rename), so a crash never leaves a half-written store. A missing or unreadable file reads as empty.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class SettingsStore {
public:
    explicit SettingsStore(std::filesystem::path file);

    // The store of the current user (the environment decides the file on first use).
    static SettingsStore& User();

    const std::filesystem::path& File() const { return file_; }

    bool HasKey(std::string_view key) const;
    // The names of the keys directly below `key`, in the order the file lists them.
    std::vector<std::string> SubKeys(std::string_view key) const;
    // Nothing when the key or the value is missing or the value has another type.
    std::optional<uint32_t> ReadDword(std::string_view key, std::string_view name) const;
    std::optional<std::string> ReadString(std::string_view key, std::string_view name) const;
    std::optional<std::string> ReadBinary(std::string_view key, std::string_view name) const;

    // Writes create the key (and the file and its folder) when needed. They throw
    // std::runtime_error naming the file when it cannot be written.
    void WriteDword(std::string_view key, std::string_view name, uint32_t value);
    void WriteString(std::string_view key, std::string_view name, std::string_view value);
    void WriteBinary(std::string_view key, std::string_view name, std::string_view bytes);
    void DeleteValue(std::string_view key, std::string_view name);
    void DeleteKey(std::string_view key);  // the key and the keys below it

private:
    std::filesystem::path file_;
};
