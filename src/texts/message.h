// A message for a modal box: the core describes it, the window shows it, the
// command-line tool prints its text.
#pragma once

#include <optional>
#include <string>

namespace kerfo::texts {

// The icon values of the classic message box.
enum class Icon : int { kNone = 0, kError = 16, kWarning = 48, kInformation = 64 };

struct Message {
    std::string text;
    Icon icon = Icon::kNone;
    // Without a title of its own the box shows the application's title.
    std::optional<std::string> title;

    bool operator==(const Message&) const = default;
};

// Shows a message and returns when the user has dismissed it. Passed in wherever a
// box may appear, so tests can record instead of showing.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void show(const Message& message) = 0;
};

}  // namespace kerfo::texts
