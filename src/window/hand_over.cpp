#include "window/hand_over.h"

namespace kerfo::window {

Start startUp(Instances& instances, const std::string& userFile, int tries) {
    for (int look = 1;; ++look) {
        if (instances.claim()) return Start{true, std::nullopt};
        // Without a file there is nothing to hand over.
        if (userFile.empty()) break;
        if (const std::optional<HandOver> answer = instances.offer(userFile)) {
            if (*answer == HandOver::kTaken) return Start{false, std::nullopt};
            break;
        }
        // The running Kerfo is still loading: it may yet take the file, or end.
        if (look >= tries) break;
        instances.pause();
    }
    return Start{false, alreadyRunningMessage()};
}

}  // namespace kerfo::window
