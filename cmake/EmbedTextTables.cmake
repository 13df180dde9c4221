# Writes a C++ source that holds the locale tables as byte arrays, so the program carries its texts.
# Usage: cmake -DOUTPUT=file.cpp -DTABLES="a.txt;b.txt" -P EmbedTextTables.cmake
set(entries "")
set(arrays "")
foreach(table IN LISTS TABLES)
  get_filename_component(language ${table} NAME_WE)
  file(READ ${table} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char table${language}[] = {${bytes} 0};\n")
  string(APPEND entries "        {${language}, {reinterpret_cast<const char*>(table${language}), sizeof table${language} - 1}},\n")
endforeach()
file(WRITE ${OUTPUT}.tmp "// Generated from resources/locale by cmake/EmbedTextTables.cmake; do not edit.
#include <string_view>
#include \"runtime/Text.h\"

namespace {
${arrays}
struct ShippedTable {
    int language;
    std::string_view bytes;
};
const ShippedTable shippedTables[] = {
${entries}};
}  // namespace

std::string_view ShippedTextTable(int language) {
    for (const ShippedTable& table : shippedTables) {
        if (table.language == language) {
            return table.bytes;
        }
    }
    return {};
}
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
