// Throughput of the body pieces of mail conversion on an Outlook-style HTML message of about 200 KB:
// decompressing its RTF, unwrapping the HTML, and taking the text from the HTML.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "mapi/CompressedRtf.h"
#include "mapi/HtmlText.h"
#include "mapi/RtfBody.h"

using namespace Tarvik::MAPI;

namespace {

// RTF as Outlook wraps an HTML message: every paragraph as tag groups, text in between, accented
// characters as \'hh escapes and an RTF-only rendering of each paragraph end.
std::string OutlookRtf(int paragraphs) {
    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss "
        "Arial;}{\\f1\\fswiss\\fcharset204 "
        "Arial;}}\r\n{\\*\\htmltag19 <html>}{\\*\\htmltag34 <head>}{\\*\\htmltag41 </head>}{\\*\\htmltag50 "
        "<body>}\r\n";
    for (int i = 0; i < paragraphs; ++i) {
        rtf +=
            "{\\*\\htmltag64 <p class=MsoNormal>}\\htmlrtf {\\htmlrtf0 Gr\\'fc\\'dfe aus K\\'f6ln, "
            "paragraph " +
            std::to_string(i) +
            " of a long message with some ordinary words in it.{\\*\\htmltag84 &nbsp;}\\htmlrtf "
            "\\'a0\\htmlrtf0 "
            "{\\f1 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}\\htmlrtf\\par}\\htmlrtf0\r\n{\\*\\htmltag72 </p>}\r\n";
    }
    return rtf + "{\\*\\htmltag58 </body>}{\\*\\htmltag27 </html>}}";
}

// Compressed RTF made of literals only (a valid stream that the decompressor reads byte by byte).
std::string LiteralCompressedRtf(const std::string& rtf) {
    std::string contents;
    size_t pos = 0;
    for (;;) {
        size_t run = std::min<size_t>(8, rtf.size() - pos);
        uint8_t control =
            run < 8 ? static_cast<uint8_t>(1u << run) : 0;  // the end marker follows the last literal
        contents += static_cast<char>(control);
        contents.append(rtf, pos, run);
        pos += run;
        if (run < 8) {
            unsigned endOffset = (207 + rtf.size()) % 4096;
            contents += static_cast<char>(endOffset >> 4);
            contents += static_cast<char>((endOffset & 0x0F) << 4);
            break;
        }
    }
    std::string header(16, '\0');
    auto put = [&](size_t offset, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            header[offset + i] = static_cast<char>(value >> (8 * i));
    };
    put(0, static_cast<uint32_t>(contents.size() + 12));
    put(4, static_cast<uint32_t>(rtf.size()));
    header.replace(8, 4, "LZFu");
    put(12, CompressedRtfCrc(contents));
    return header + contents;
}

const std::string rtf = OutlookRtf(1000);
const std::string compressed = LiteralCompressedRtf(rtf);
const std::string html = UnwrapHtmlFromRtf(rtf).value();

void DecompressRtf(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(Tarvik::MAPI::DecompressRtf(compressed));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(rtf.size()));
}

void UnwrapHtml(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(UnwrapHtmlFromRtf(rtf));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(rtf.size()));
}

void HtmlToText(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(TextFromHtml(html));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(html.size()));
}

}  // namespace

BENCHMARK(DecompressRtf)->Unit(benchmark::kMicrosecond);
BENCHMARK(UnwrapHtml)->Unit(benchmark::kMicrosecond);
BENCHMARK(HtmlToText)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
