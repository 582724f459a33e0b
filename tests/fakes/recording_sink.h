// A message service that records every message instead of showing it.
#pragma once

#include <functional>
#include <vector>

#include "texts/message.h"

namespace kerfo::test {

class RecordingSink : public texts::MessageSink {
public:
    void show(const texts::Message& message) override {
        messages.push_back(message);
        if (duringShow) duringShow();
    }

    std::vector<texts::Message> messages;
    // Runs while a box shows, as the events a box's own message loop hands on.
    std::function<void()> duringShow;
};

}  // namespace kerfo::test
