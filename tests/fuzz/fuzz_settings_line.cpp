// The settings file: its first line, read through files in memory, and the
// model folder taken from it. The folder is what follows the first character
// up to the first apostrophe within the next 200, with a separator appended;
// a line without such an apostrophe names no folder.
#include <algorithm>
#include <optional>

#include "modelfiles/viewer_model.h"
#include "modelfiles/file_io.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/memory_files.h"

using veldra::fuzz::check;
using veldra::fuzz::number;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kMaxLine = 1024;
    veldra::testing::MemoryFiles files;
    files.put("Veldra.ini", std::string(veldra::fuzz::text_of(data, size)));
    const std::string line = veldra::files::read_first_line("Veldra.ini", kMaxLine, files);

    std::string_view expected = veldra::fuzz::text_of(data, std::min(size, kMaxLine));
    expected = expected.substr(0, expected.find('\n'));
    if (!expected.empty() && expected.back() == '\r') expected.remove_suffix(1);
    check(line == expected, "the first line read is \"" + line + "\"");

    const std::optional<std::string> found = veldra::files::folder_from_settings_line(line);
    const std::size_t quote = line.empty() ? std::string::npos : line.substr(1, 200).find('\'');
    check(found.has_value() == (quote != std::string::npos), "a folder found or missed wrongly in \"" + line + "\"");
    if (!found) return 0;
    const std::string& folder = *found;
    check(folder.size() == quote + 1 || folder.size() == quote,
          "folder of " + number(folder.size()) + " characters for an apostrophe at " + number(quote + 2));
    check(line.compare(1, quote, folder, 0, quote) == 0, "the folder is not the text before the apostrophe");
    check(!folder.empty() && (folder.back() == '/' || folder.back() == '\\'), "the folder has no separator at its end");
    return 0;
}
