#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Text laid out in columns for a terminal. Widths count characters (UTF-8 code points),
// not bytes.
namespace galvorn::cli {

struct TerminalSize
{
    int rows = 24;
    int columns = 80;
};

// The size of the terminal on `fd`; false when it is no terminal.
bool TerminalSizeOf(int fd, TerminalSize& size);

std::size_t displayWidth(std::string_view text);
// The text followed by spaces up to `width` characters; longer text stays whole.
std::string padded(std::string_view text, std::size_t width);
// The text cut to at most `columns` characters.
std::string truncatedToColumns(std::string_view text, std::size_t columns);
// The rows with each column as wide as its widest cell, two spaces apart, one line each.
std::string alignedTable(const std::vector<std::vector<std::string>>& rows);

} // namespace galvorn::cli
