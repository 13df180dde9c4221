#include "tests/mapi/msgfile/MsgFileTestSupport.h"

#include <openssl/evp.h>

#include <algorithm>
#include <stdexcept>

#include "tests/support/TestSupport.h"

namespace MsgFileTest {

namespace {

std::string Script(const char* name) {
    return (TestSupport::SourceDir() / "tests/mapi/msgfile" / name).string();
}

nlohmann::json RunJson(const std::vector<std::string>& argv) {
    TestSupport::CommandResult result = TestSupport::RunCommand(argv);
    if (result.exitCode != 0) {
        ADD_FAILURE() << argv[1] << " failed (" << result.exitCode << "): " << result.err;
        return nlohmann::json::object();
    }
    return nlohmann::json::parse(result.out);
}

uint8_t PatternByte(uint64_t i) {
    return static_cast<uint8_t>((i * 2654435761u) >> 13);
}

}  // namespace

nlohmann::json DumpWithOlefile(const std::filesystem::path& file, bool compoundFileOnly) {
    std::vector<std::string> argv{"/usr/bin/python3", Script("msgdump.py")};
    if (compoundFileOnly)
        argv.push_back("--cfb");
    argv.push_back(file.string());
    return RunJson(argv);
}

nlohmann::json ConvertWithMsgconvert(const std::filesystem::path& file) {
    std::filesystem::path eml = file;
    eml.replace_extension(".eml");
    TestSupport::CommandResult converted =
        TestSupport::RunCommand({"msgconvert", "--outfile", eml.string(), file.string()});
    if (converted.exitCode != 0) {
        ADD_FAILURE() << "msgconvert failed (" << converted.exitCode << "): " << converted.err;
        return nlohmann::json::object();
    }
    return RunJson({"/usr/bin/python3", Script("emlsummary.py"), eml.string()});
}

std::string Sha256(std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
    static const char* kHex = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 15];
    }
    return out;
}

size_t PatternSource::Read(uint8_t* buffer, size_t size) {
    if (position_ >= failAt_)
        throw std::runtime_error("the source broke off");
    size_t count = static_cast<size_t>(std::min<uint64_t>({size, piece_, size_ - position_}));
    for (size_t i = 0; i < count; ++i)
        buffer[i] = PatternByte(position_ + i);
    position_ += count;
    return count;
}

std::string PatternSource::Bytes(uint64_t size) {
    std::string out(size, '\0');
    for (uint64_t i = 0; i < size; ++i)
        out[i] = static_cast<char>(PatternByte(i));
    return out;
}

std::string DumpedBinary(std::string_view bytes) {
    if (bytes.size() > 65536)
        return "sha256:" + Sha256(bytes) + ":" + std::to_string(bytes.size());
    static const char* kHex = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out;
}

}  // namespace MsgFileTest
