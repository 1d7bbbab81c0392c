#include "status_line.h"

#include <cstdio>
#include <ctime>

namespace {

std::string Escaped(const std::string& bytes)
{
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
            text += c;
            continue;
        }
        char escape[5];
        (void)std::snprintf(escape, sizeof escape, "\\x%02X", byte);
        text += escape;
    }
    return text;
}

std::string Date(time_t when)
{
    struct tm local = {};
    char text[32];
    if (!localtime_r(&when, &local) || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0)
        return "?";
    return text;
}

std::string Cause(const SupervisionState& state)
{
    switch (state.cause) {
    case RestartCause::kHeartbeat:
        return "no heartbeat for " + std::to_string(state.age) + " s";
    case RestartCause::kUnseen:
        return "unseen for " + std::to_string(state.age) + " s";
    case RestartCause::kAsked:
        return "asked by \"restart\"";
    case RestartCause::kNone:
        break;
    }
    return "";
}

} // namespace

std::string StatusLine(const std::string& name, const SupervisionState& state)
{
    std::string line = Escaped(name) + (state.found ? " running since " : " not seen since ") + Date(state.since);
    if (state.restarts == 0)
        return line + "; no restart yet";
    return line + "; " + std::to_string(state.restarts) + (state.restarts == 1 ? " restart" : " restarts") +
           ", the last at " + Date(state.lastRestart) + " (" + Cause(state) + ")";
}
