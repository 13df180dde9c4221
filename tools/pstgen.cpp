// pstgen: builds a PST file.
//
//   pstgen DESCRIPTION.json OUT.pst
//       from a JSON description of folders and items (see tools/README.md)
//   pstgen --synthetic [--messages N] [--folders N] [--size BYTES] [--seed N]
//          [--encryption none|permute|cyclic] OUT.pst
//       a large generated mailbox for benchmarks
//
// Exits 1 with a message when the description is wrong or the file cannot be written.

#include <cstdio>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "tools/Description.h"
#include "tools/SyntheticMailbox.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: pstgen DESCRIPTION.json OUT.pst\n"
                 "       pstgen --synthetic [--messages N] [--folders N] [--size BYTES] [--seed N]\n"
                 "              [--encryption none|permute|cyclic] OUT.pst\n");
    return 2;
}

int Synthetic(int argc, char** argv) {
    pstgen::SyntheticOptions o;
    std::string out;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                throw std::invalid_argument(arg + " needs a value");
            }
            return argv[++i];
        };
        if (arg == "--messages") {
            o.messages = std::stoi(next());
        } else if (arg == "--folders") {
            o.folders = std::stoi(next());
        } else if (arg == "--size") {
            o.targetBytes = std::stoull(next());
        } else if (arg == "--seed") {
            o.seed = static_cast<uint32_t>(std::stoul(next()));
        } else if (arg == "--encryption") {
            std::string e = next();
            o.encryption = e == "none"     ? pst::Encryption::None
                           : e == "cyclic" ? pst::Encryption::Cyclic
                                           : pst::Encryption::Permute;
        } else if (out.empty() && arg[0] != '-') {
            out = arg;
        } else {
            return Usage();
        }
    }
    if (out.empty()) {
        return Usage();
    }
    pstgen::WriteSyntheticMailbox(out, o);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc >= 2 && std::string(argv[1]) == "--synthetic") {
            return Synthetic(argc, argv);
        }
        if (argc != 3) {
            return Usage();
        }
        std::ifstream in(argv[1]);
        if (!in) {
            std::fprintf(stderr, "pstgen: cannot read %s\n", argv[1]);
            return 1;
        }
        nlohmann::json description = nlohmann::json::parse(in);
        std::filesystem::path base = std::filesystem::path(argv[1]).parent_path();
        pstgen::WriteDescription(description, base, argv[2]);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pstgen: %s: %s\n", argc >= 2 ? argv[1] : "", e.what());
        return 1;
    }
}
