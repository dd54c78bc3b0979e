#include "tools/devsim/controlchannel.h"

#include "searchlib/macaddress.h"
#include "tools/devsim/camera.h"

namespace galvorn::devsim {

namespace {

constexpr std::string_view kSpace = " \t\r";

// Splits off the first word; `rest` keeps the text after the separating blanks.
std::string_view nextWord(std::string_view& rest)
{
    const auto start = rest.find_first_not_of(kSpace);
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const auto end = rest.find_first_of(kSpace);
    const std::string_view word = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
    const auto next = rest.find_first_not_of(kSpace);
    rest = next == std::string_view::npos ? std::string_view{} : rest.substr(next);
    return word;
}

bool parseMode(std::string_view word, AnswerMode& mode)
{
    if (word == "normal")
        mode = AnswerMode::Normal;
    else if (word == "foreign")
        mode = AnswerMode::Foreign;
    else if (word == "malformed")
        mode = AnswerMode::Malformed;
    else
        return false;
    return true;
}

} // namespace

std::vector<Camera*> ControlChannel::select(std::string_view selector) const
{
    std::vector<Camera*> chosen;
    const auto mac = searchlib::MacAddress::parse(selector);
    for (const auto& camera : cameras_) {
        if (selector == "*" || (mac && camera->profile().mac == *mac))
            chosen.push_back(camera.get());
    }
    return chosen;
}

std::string ControlChannel::execute(std::string_view line, bool& quit)
{
    std::string_view rest = line;
    const std::string_view command = nextWord(rest);
    if (command == "quit") {
        quit = true;
        return "ok";
    }
    if (command != "set" && command != "silence" && command != "revive" && command != "answer" &&
        command != "events" && command != "save")
        return "error unknown command \"" + std::string(command) + "\"";
    const std::string_view selector = nextWord(rest);
    const std::vector<Camera*> cameras = select(selector);
    if (cameras.empty())
        return "error no camera \"" + std::string(selector) + "\"";

    if (command == "events") {
        for (Camera* camera : cameras)
            camera->sendDeviceEvents();
        return "ok";
    }
    // Answered only once every library is on disk, so the caller may read the files next.
    if (command == "save") {
        for (Camera* camera : cameras) {
            if (!camera->saveFaceLibrary())
                return "error cannot write the face library of " + camera->profile().mac.text();
        }
        return "ok";
    }
    if (command == "silence" || command == "revive") {
        for (Camera* camera : cameras)
            camera->setSilenced(command == "silence");
        return "ok";
    }
    if (command == "answer") {
        AnswerMode mode{};
        if (!parseMode(nextWord(rest), mode))
            return "error answer mode is normal, foreign or malformed";
        for (Camera* camera : cameras)
            camera->setAnswerMode(mode);
        return "ok";
    }
    const std::string_view key = nextWord(rest);
    // The value is the rest of the line, blanks inside it kept.
    const auto last = rest.find_last_not_of(kSpace);
    const std::string_view value = last == std::string_view::npos ? "" : rest.substr(0, last + 1);
    for (Camera* camera : cameras) {
        if (std::string reason = camera->set(key, value); !reason.empty())
            return "error " + reason;
    }
    return "ok";
}

} // namespace galvorn::devsim
