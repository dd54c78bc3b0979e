#include "app/cli/credentials.h"
#include "testkit/tempdir.h"

#include <gtest/gtest.h>

#include <map>

using namespace galvorn::cli;

namespace {

// An environment and a terminal made up by the test; the prompts it answered are kept.
struct Sources
{
    std::map<std::string, std::string> environment;
    bool terminal = false;
    std::string typed = "typed";
    std::vector<std::string> prompts;

    CredentialSources get()
    {
        CredentialSources sources;
        sources.environment = [this](const char* name) -> std::optional<std::string> {
            const auto entry = environment.find(name);
            if (entry == environment.end())
                return std::nullopt;
            return entry->second;
        };
        sources.prompt = [this](std::string_view prompt) -> std::optional<std::string> {
            if (!terminal)
                return std::nullopt;
            prompts.emplace_back(prompt);
            return typed;
        };
        return sources;
    }
};

} // namespace

TEST(Credentials, TheEnvironmentComesBeforeThePrompt)
{
    Sources sources;
    sources.environment = {{kPasswordVariable, "secret"}, {kLibraryPasswordVariable, ""}};
    Credentials credentials;
    EXPECT_EQ(ReadCredentials("", true, sources.get(), credentials), "");
    EXPECT_EQ(credentials.password, "secret");
    EXPECT_EQ(credentials.libraryPassword, "") << "an empty variable is a password";

    sources.environment.erase(kLibraryPasswordVariable);
    sources.terminal = true;
    EXPECT_EQ(ReadCredentials("", true, sources.get(), credentials), "");
    EXPECT_EQ(credentials.libraryPassword, "typed");
    EXPECT_EQ(sources.prompts, std::vector<std::string>{"Face-library password: "});

    sources.prompts.clear();
    EXPECT_EQ(ReadCredentials("", false, sources.get(), credentials), "");
    EXPECT_TRUE(sources.prompts.empty()) << "the library password is not needed";
    EXPECT_EQ(credentials.libraryPassword, "");
}

TEST(Credentials, WithoutATerminalOnlyTheDevicePasswordIsRequired)
{
    Sources sources;
    Credentials credentials;
    const std::string error = ReadCredentials("", true, sources.get(), credentials);
    EXPECT_NE(error.find("no device password"), std::string::npos) << error;

    sources.environment = {{kPasswordVariable, "secret"}};
    EXPECT_EQ(ReadCredentials("", true, sources.get(), credentials), "");
    EXPECT_EQ(credentials.libraryPassword, "");

    sources.environment.clear();
    sources.terminal = true;
    EXPECT_EQ(ReadCredentials("", true, sources.get(), credentials), "");
    EXPECT_EQ(sources.prompts,
              (std::vector<std::string>{"Device password: ", "Face-library password: "}));
}

TEST(Credentials, APasswordFileGivesBothAndOutranksTheEnvironment)
{
    TempDir dir;
    Sources sources;
    sources.environment = {{kPasswordVariable, "env"}, {kLibraryPasswordVariable, "envlib"}};
    const struct
    {
        const char* what;
        std::string content;
        std::string password;
        std::string library;
    } cases[] = {
        {"two lines", "dev\nlib\n", "dev", "lib"},
        {"CR LF", "dev\r\nlib\r\n", "dev", "lib"},
        {"one line", "dev", "dev", ""},
        {"blanks are kept", " d v \n", " d v ", ""},
        {"empty", "", "", ""},
    };
    for (const auto& each : cases) {
        dir.write("pw", each.content);
        Credentials credentials;
        EXPECT_EQ(ReadCredentials(dir.file("pw"), true, sources.get(), credentials), "")
            << each.what;
        EXPECT_EQ(credentials.password, each.password) << each.what;
        EXPECT_EQ(credentials.libraryPassword, each.library) << each.what;
    }
}

TEST(Credentials, WhatCannotBeUsedIsRefused)
{
    TempDir dir;
    Sources sources;
    Credentials credentials;
    dir.write("big", std::string(kMaxPasswordFileBytes + 1, 'x'));
    dir.write("long", std::string(32, 'x') + "\n");
    dir.write("longlib", "ok\n" + std::string(32, 'x') + "\n");
    const struct
    {
        std::string file;
        const char* message;
    } cases[] = {
        {dir.file("missing"), "cannot read the password file"},
        {dir.path(), "cannot read the password file"},
        {dir.file("big"), "is larger than 4096 bytes"},
        {dir.file("long"), "the device password is longer than a device takes (31 bytes)"},
        {dir.file("longlib"), "the face-library password is longer"},
    };
    for (const auto& each : cases) {
        const std::string error = ReadCredentials(each.file, true, sources.get(), credentials);
        EXPECT_NE(error.find(each.message), std::string::npos) << each.file << ": " << error;
    }
}
