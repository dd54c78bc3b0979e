#pragma once

#include "support/inttypes.h"

#include <ctime>
#include <string>
#include <string_view>

namespace galvorn {

// What separates a log line's picture name from its reason, and one line from the next.
inline constexpr std::string_view kLogFieldSeparator = "\t\t";
inline constexpr std::string_view kLogLineSeparator = "\r\n";

// The result log of one batch add on one device: a line per person that was not added,
// "<picture file name>\t\t<why>", lines joined by "\r\n". The reason is the text of the
// device's result code, or of the local fault that kept the person from being sent.
class BatchAddLog
{
public:
    void addRefusal(std::string_view pictureName, tint32 code);
    void addLine(std::string_view pictureName, std::string_view reason);

    bool empty() const { return text_.empty(); }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// The folders a log may go to, in order of preference. An empty entry is skipped.
struct LogFolders
{
    std::string primary;
    std::string fallback;
};

// "log" beside a program that runs from its build tree, then "Galvorn/log" in the user's
// data folder. An installed program has only the data folder: it writes nothing into the
// installation, not even when it runs with the rights to.
LogFolders defaultLogFolders();

// "<YYYY><MM><DD><hh><mm><ss>.log".
std::string logFileName(const std::tm& localTime);

// Writes text to a new file named by localTime in the first folder that can be created
// and written. A file of that name is never replaced: the name then gets "_1", "_2", ...
// before ".log", so two devices finishing in the same second keep both logs. Returns the path
// written, so that the operator can be told where to look; empty when no folder could take the
// file.
std::string writeOperationLog(std::string_view text, const std::tm& localTime,
                              const LogFolders& folders);

// The same with the current local time.
std::string writeOperationLog(std::string_view text,
                              const LogFolders& folders = defaultLogFolders());

} // namespace galvorn
