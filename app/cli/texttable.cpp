#include "app/cli/texttable.h"

#include <algorithm>
#include <sys/ioctl.h>
#include <unistd.h>

namespace galvorn::cli {

namespace {

constexpr char kColumnGap[] = "  ";

bool continuesCodePoint(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

} // namespace

bool TerminalSizeOf(int fd, TerminalSize& size)
{
    winsize window{};
    if (!::isatty(fd) || ::ioctl(fd, TIOCGWINSZ, &window) != 0 || window.ws_row == 0)
        return false;
    size.rows = window.ws_row;
    size.columns = window.ws_col;
    return true;
}

std::size_t displayWidth(std::string_view text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !continuesCodePoint(c); }));
}

std::string padded(std::string_view text, std::size_t width)
{
    std::string out(text);
    const std::size_t shown = displayWidth(text);
    if (shown < width)
        out.append(width - shown, ' ');
    return out;
}

std::string truncatedToColumns(std::string_view text, std::size_t columns)
{
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (continuesCodePoint(text[i]))
            continue;
        if (seen == columns)
            return std::string(text.substr(0, i));
        ++seen;
    }
    return std::string(text);
}

std::string alignedTable(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], displayWidth(row[i]));
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? padded(row[i], widths[i]) + kColumnGap : row[i];
        out += line + '\n';
    }
    return out;
}

} // namespace galvorn::cli
