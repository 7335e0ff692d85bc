#pragma once
// Line commands that let a person or a test drive a running simulator: press a service
// button, take a controller off the bus, inject faults, hang the port up.
#include "sim/SimBus.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kadex::sim {

class SimConsole {
public:
    explicit SimConsole(std::shared_ptr<SimBus> bus);

    // Runs one command line. The reply starts with "OK" or "ERR"; some replies have more lines.
    std::string execute(const std::string& line);
    bool quitRequested() const { return quit_; }
    // "unplug" and "plug" need the pseudo-terminal's server; without a handler they are refused.
    // The handler gets true for plug, false for unplug, and returns the reply.
    void setPlugHandler(std::function<std::string(bool plugIn)> handler) { plug_ = std::move(handler); }

    // The command summary, for --help and the help command.
    static const char* Help();

private:
    std::shared_ptr<SimBus> bus_;
    bool quit_ = false;
    std::function<std::string(bool)> plug_;
};

// Parsing shared by the console and the command line.
std::vector<std::string> SplitWords(const std::string& line);
// "PP", "ZB1".."ZB8" or a hexadecimal byte; false for anything else.
bool ParseAddress(const std::string& text, uint8_t& pattern);
// "00812-04711-003-001"
bool ParseSerialText(const std::string& text, Identity& id);
// words[from..]: KIND (N | @RATE) [PARAM...]
bool ParseFault(const std::vector<std::string>& words, size_t from, Fault& fault, std::string& error);
bool ParseNumber(const std::string& text, long long& value, int base = 10);

} // namespace kadex::sim
