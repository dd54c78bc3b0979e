#include "app/cli/credentials.h"

#include "facelib/devicejob.h"
#include "platform/wholefile.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <termios.h>
#include <tuple>
#include <unistd.h>

namespace galvorn::cli {

namespace {

constexpr std::size_t kPasswordBytes = std::tuple_size_v<decltype(DeviceJob::password)> - 1;
constexpr std::size_t kLibraryPasswordBytes =
    std::tuple_size_v<decltype(DeviceJob::libraryPassword)> - 1;
// Nothing was sent to any device when a prompt is interrupted.
constexpr int kInterruptedPromptExit = 2;

// The terminal's state while a prompt has its echo off, for the signal handler.
termios gSavedTerminal{};

extern "C" void restoreTerminalAndExit(int)
{
    ::tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
    static constexpr char kNewLine = '\n';
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, &kNewLine, 1);
    ::_exit(kInterruptedPromptExit);
}

std::optional<std::string> promptWithoutEcho(std::string_view prompt)
{
    if (!::isatty(STDIN_FILENO) || ::tcgetattr(STDIN_FILENO, &gSavedTerminal) != 0)
        return std::nullopt;
    termios silent = gSavedTerminal;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    struct sigaction restore
    {};
    restore.sa_handler = &restoreTerminalAndExit;
    struct sigaction oldInt
    {};
    struct sigaction oldTerm
    {};
    ::sigaction(SIGINT, &restore, &oldInt);
    ::sigaction(SIGTERM, &restore, &oldTerm);
    std::cerr << prompt << std::flush;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    ::tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTerminal);
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    std::cerr << '\n';
    if (!read)
        return std::nullopt;
    return line;
}

// Line `index` (from 0) without its line end; empty when the text has fewer lines.
std::string lineOf(std::string_view text, std::size_t index)
{
    for (; index > 0; --index) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos)
            return {};
        text.remove_prefix(end + 1);
    }
    std::string_view line = text.substr(0, text.find('\n'));
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    return std::string(line);
}

std::string tooLong(const char* what, std::size_t bytes)
{
    return std::string("the ") + what + " is longer than a device takes (" + std::to_string(bytes) +
           " bytes)";
}

std::string fromFile(const std::string& path, Credentials& credentials)
{
    platform::WholeFileFault fault = platform::WholeFileFault::None;
    const std::optional<std::string> text =
        platform::ReadWholeTextFile(path, kMaxPasswordFileBytes, fault);
    if (fault == platform::WholeFileFault::TooLarge)
        return "the password file " + path + " is larger than " +
               std::to_string(kMaxPasswordFileBytes) + " bytes";
    if (!text)
        return "cannot read the password file " + path;
    credentials.password = lineOf(*text, 0);
    credentials.libraryPassword = lineOf(*text, 1);
    return {};
}

std::string fromEnvironmentOrPrompt(bool needsLibrary, const CredentialSources& sources,
                                    Credentials& credentials)
{
    std::optional<std::string> password = sources.environment(kPasswordVariable);
    if (!password)
        password = sources.prompt("Device password: ");
    if (!password)
        return std::string("no device password: set ") + kPasswordVariable +
               ", give --password-file, or run on a terminal";
    credentials.password = std::move(*password);
    if (!needsLibrary)
        return {};
    std::optional<std::string> library = sources.environment(kLibraryPasswordVariable);
    if (!library)
        library = sources.prompt("Face-library password: ");
    credentials.libraryPassword = library.value_or(std::string());
    return {};
}

} // namespace

CredentialSources SystemCredentialSources()
{
    CredentialSources sources;
    sources.environment = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (value == nullptr)
            return std::nullopt;
        return std::string(value);
    };
    sources.prompt = &promptWithoutEcho;
    return sources;
}

std::string ReadCredentials(const std::string& passwordFile, bool needsLibrary,
                            const CredentialSources& sources, Credentials& credentials)
{
    credentials = {};
    std::string error = passwordFile.empty()
                            ? fromEnvironmentOrPrompt(needsLibrary, sources, credentials)
                            : fromFile(passwordFile, credentials);
    if (!error.empty())
        return error;
    if (credentials.password.size() > kPasswordBytes)
        return tooLong("device password", kPasswordBytes);
    if (credentials.libraryPassword.size() > kLibraryPasswordBytes)
        return tooLong("face-library password", kLibraryPasswordBytes);
    return {};
}

} // namespace galvorn::cli
