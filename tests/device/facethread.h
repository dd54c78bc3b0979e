#pragma once

#include "tools/devsim/deviceface.h"
#include "tools/devsim/reactorthread.h"

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

// The simulator's device-protocol face on a thread of the test, listening on 127.0.0.1 at
// an ephemeral port, so that the session tests talk to a real camera double.
class FaceThread
{
public:
    explicit FaceThread(galvorn::devsim::DeviceFaceSettings settings)
        : face_(std::move(settings), thread_.reactor())
    {
        std::string error;
        opened_ = face_.open(error);
        error_ = error;
        thread_.start();
    }
    ~FaceThread() { thread_.stop(); }
    FaceThread(const FaceThread&) = delete;
    FaceThread& operator=(const FaceThread&) = delete;

    bool opened() const { return opened_; }
    const std::string& error() const { return error_; }
    std::uint16_t port() const { return face_.port(); }

private:
    galvorn::devsim::ReactorThread thread_;
    galvorn::devsim::DeviceFace face_;
    bool opened_ = false;
    std::string error_;
};

// One line of a recording file: its key=value fields.
using Recorded = std::map<std::string, std::string>;

inline std::vector<Recorded> readRecording(const std::string& path)
{
    std::vector<Recorded> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        Recorded fields;
        std::istringstream items(line);
        for (std::string item; std::getline(items, item, '\t');) {
            const auto equals = item.find('=');
            if (equals != std::string::npos)
                fields[item.substr(0, equals)] = item.substr(equals + 1);
        }
        lines.push_back(fields);
    }
    return lines;
}
