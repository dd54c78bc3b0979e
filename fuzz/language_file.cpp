// A language file and the language index beside the program, as the window loads them
// before it builds any widget. The input is split into the index and the language file.
#include "config/inifile.h"
#include "config/languagetable.h"
#include "fuzz/fuzzinput.h"
#include "fuzz/scratchfolder.h"

#include <filesystem>
#include <fstream>

using namespace galvorn;
using galvorn::fuzz::FuzzInput;
using galvorn::fuzz::text;

namespace {

constexpr std::uint32_t kLanguageId = 0x409;
constexpr char kLanguageName[] = "English (United States)";

void write(const std::string& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The text as a language file writes it: in quotes, so that blanks around it stay, with
// the escapes the table decodes.
std::string escaped(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out + "\"";
}

// The keys the language file may hold: the first token of every line.
std::vector<std::string> candidateKeys(std::string_view file)
{
    std::vector<std::string> keys = {"IDCS_START", "IDCS_CANCEL"};
    while (!file.empty()) {
        const std::size_t end = file.find('\n');
        const std::string_view line = file.substr(0, end);
        keys.emplace_back(line.substr(0, line.find('=')));
        file.remove_prefix(end == std::string_view::npos ? file.size() : end + 1);
    }
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::string_view index = text(input.piece());
    const std::string_view known = text(input.piece());
    // The first key of a file wins, so the known text cannot be overridden by the rest.
    const std::string file =
        "[text]\nFUZZ_KNOWN_TEXT=" + escaped(known) + "\n" + std::string(text(input.rest()));

    const fuzz::ScratchFolder scratch;
    const std::string& dir = scratch.path();
    std::filesystem::create_directory(dir + "/language");
    write(dir + "/language/LanguageIndex.ini", index);
    write(dir + "/language/" + std::string(kLanguageName) + ".ini", file);

    // Some language is always chosen, whatever the index says.
    const std::string chosen = chooseLanguageName(dir, kLanguageId, "en_US");
    FUZZ_CHECK(!chosen.empty());

    loadLanguage(dir, kLanguageId, "en_US");
    // A text written with the file's escapes reads back as it was.
    if (chosen == kLanguageName)
        FUZZ_CHECK(languageText("FUZZ_KNOWN_TEXT") == known);
    std::vector<std::string> texts;
    for (const std::string& key : candidateKeys(file)) {
        texts.push_back(languageText(key));
        // Decoding escapes never makes a text longer than the file's value.
        FUZZ_CHECK(texts.back().size() <= file.size());
    }
    // Loading again gives the same table.
    loadLanguage(dir, kLanguageId, "en_US");
    const std::vector<std::string> keys = candidateKeys(file);
    for (std::size_t i = 0; i < keys.size(); ++i)
        FUZZ_CHECK(languageText(keys[i]) == texts[i]);
    releaseLanguage();
    FUZZ_CHECK(languageText("IDCS_START").empty());
    return 0;
}
