#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace galvorn {

// The process-wide table of operator-visible texts, loaded from
// "<dir>/language/<name>.ini" (section "text"), where <name> comes from
// "<dir>/language/LanguageIndex.ini" (section "languages", key "0x%04x" of the
// identifier). Loaded once by the main window before any widget is built and used
// from the GUI thread only.

// Loads the table, replacing any table loaded before. localeName chooses the file
// when the index does not name one: "zh_CN" gives "Chinese (PRC)", anything else
// "English (United States)". A missing language file gives an empty table.
void loadLanguage(const std::string& dir, std::uint32_t languageId, std::string_view localeName);

// The text of a message key; empty when the key is empty, unknown, or no table is
// loaded. Escapes \n, \t, \\ and \" in the file are decoded.
std::string languageText(std::string_view key);

void releaseLanguage();

// The index key of a language identifier: "0x" and at least four lower-case hex digits.
std::string languageIndexKey(std::uint32_t languageId);

// The language name loadLanguage() would pick; empty only when nothing can be chosen.
std::string chooseLanguageName(const std::string& dir, std::uint32_t languageId,
                               std::string_view localeName);

// The file loadLanguage() reads: "<dir>/language/<name>.ini" with the name above.
std::string languageFilePath(const std::string& dir, std::uint32_t languageId,
                             std::string_view localeName);

} // namespace galvorn
