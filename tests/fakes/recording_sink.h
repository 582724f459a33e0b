// A message service that records every message instead of showing it.
#pragma once

#include <vector>

#include "platform/message.h"

namespace kerfo::test {

class RecordingSink : public platform::MessageSink {
public:
    void show(const platform::Message& message) override { messages.push_back(message); }

    std::vector<platform::Message> messages;
};

}  // namespace kerfo::test
