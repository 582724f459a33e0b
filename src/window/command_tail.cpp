#include "window/command_tail.h"

namespace kerfo::window {

std::wstring_view commandTail(std::wstring_view line) {
    std::size_t at = 0;
    if (!line.empty() && line[0] == L'"') {
        const std::size_t close = line.find(L'"', 1);
        at = close == std::wstring_view::npos ? line.size() : close + 1;
    } else {
        while (at < line.size() && line[at] != L' ' && line[at] != L'\t') ++at;
    }
    while (at < line.size() && (line[at] == L' ' || line[at] == L'\t')) ++at;
    const std::wstring_view tail = line.substr(at);
    // No Windows file name holds a quote, so quotes around the whole tail only say where
    // the path begins and ends; Explorer's own "%1", unquoted, keeps every space.
    std::wstring_view quoted = tail;
    while (!quoted.empty() && (quoted.back() == L' ' || quoted.back() == L'\t'))
        quoted.remove_suffix(1);
    if (quoted.size() >= 2 && quoted.front() == L'"' && quoted.back() == L'"' &&
        quoted.substr(1, quoted.size() - 2).find(L'"') == std::wstring_view::npos) {
        return quoted.substr(1, quoted.size() - 2);
    }
    return tail;
}

}  // namespace kerfo::window
