#pragma once

#include "support/inttypes.h"

#include <ctime>
#include <string>
#include <string_view>

namespace galvorn {

// The result log of one batch add on one device: a line per person the device refused,
// "<picture file name>\t\t<text of the device's result code>", lines joined by "\r\n".
class BatchAddLog
{
public:
    void addRefusal(std::string_view pictureName, tint32 code);

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

// "log" beside the program, then "Galvorn/log" in the user's data folder for a program
// installed where the user cannot write.
LogFolders defaultLogFolders();

// "<YYYY><MM><DD><hh><mm><ss>.log".
std::string logFileName(const std::tm& localTime);

// Writes text to the file named by localTime in the first folder that can be created
// and written, replacing a file of that name. Returns the path written, so that the
// operator can be told where to look; empty when no folder could take the file.
std::string writeOperationLog(std::string_view text, const std::tm& localTime,
                              const LogFolders& folders);

// The same with the current local time and the default folders.
std::string writeOperationLog(std::string_view text);

} // namespace galvorn
