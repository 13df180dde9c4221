// Writes the fuzzer's seed files: the fixture mailbox in every format and encryption, without the
// padding Outlook adds, so that the seeds stay small.

#include <cstdio>
#include <fstream>

#include <nlohmann/json.hpp>

#include "tools/Description.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pst_fuzz_seeds FIXTURE_DIR OUT_DIR\n");
        return 2;
    }
    const std::filesystem::path fixtures = argv[1], out = argv[2];
    std::ifstream in(fixtures / "mailbox.json");
    nlohmann::json base = nlohmann::json::parse(in);
    base["pad"] = false;
    for (const char* format : {"unicode", "unicode-4k"}) {
        for (const char* encryption : {"none", "permute", "cyclic"}) {
            nlohmann::json d = base;
            d["format"] = format;
            d["encryption"] = encryption;
            pstgen::WriteDescription(d, fixtures,
                                     (out / (std::string(format) + "-" + encryption + ".pst")).string());
        }
    }
    nlohmann::json small = {{"pad", false},
                            {"folders", {{{"name", "Inbox"}, {"messages", {{{"subject", "x"}}}}}}}};
    pstgen::WriteDescription(small, fixtures, (out / "small.pst").string());
    return 0;
}
