// A message service that records every message instead of showing it.
#pragma once

#include <vector>

#include "texts/message.h"

namespace kerfo::test {

class RecordingSink : public texts::MessageSink {
public:
    void show(const texts::Message& message) override { messages.push_back(message); }

    std::vector<texts::Message> messages;
};

}  // namespace kerfo::test
