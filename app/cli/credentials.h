#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace galvorn::cli {

// The passwords of a run. They live only in memory and in the jobs of the run.
struct Credentials
{
    std::string password;
    std::string libraryPassword;
};

// Where the passwords may come from, so that a test can stand in for the environment and
// the terminal.
struct CredentialSources
{
    // The value of an environment variable; empty when it is not set.
    std::function<std::optional<std::string>(const char* name)> environment;
    // Asks for a password without echo; empty when standard input is no terminal.
    std::function<std::optional<std::string>(std::string_view prompt)> prompt;
};

// The process's environment and its terminal.
CredentialSources SystemCredentialSources();

inline constexpr char kPasswordVariable[] = "GALVORN_PASSWORD";
inline constexpr char kLibraryPasswordVariable[] = "GALVORN_LIBRARY_PASSWORD";
// A password file larger than this is no password file.
inline constexpr std::size_t kMaxPasswordFileBytes = 4096;

// The passwords: both from `passwordFile` (its first line and its second, which may be
// missing) when one is given; otherwise each from its environment variable, or else
// from a prompt. The face-library password is asked for only when `needsLibrary`; without
// a terminal it is empty, while a missing device password is an error. Returns the
// message of what went wrong, or empty.
std::string ReadCredentials(const std::string& passwordFile, bool needsLibrary,
                            const CredentialSources& sources, Credentials& credentials);

} // namespace galvorn::cli
