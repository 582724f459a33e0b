#include "window/services.h"

#include <utility>

#include "texts/texts.h"

namespace kerfo::window {

StoredSettings::StoredSettings(texts::MessageSink& messages,
                               std::unique_ptr<settings::StoreBackend> store)
    : m_store(store ? std::move(store) : settings::openUserStore()),
      m_registry(*m_store, messages),
      m_general(m_registry) {}

void StoredSettings::load(settings::PositionTarget& window, settings::CheckTarget& autoQuit) {
    m_general.LoadPosition(window);
    m_general.LoadCheck(autoQuit);
}

void StoredSettings::save(const settings::PositionTarget& window,
                          const settings::CheckTarget& autoQuit) {
    m_general.SavePosition(window);
    m_general.SaveCheck(autoQuit);
}

filejobs::GateResult FileGate::check(const std::string& userFile) {
    return filejobs::checkAll(userFile);
}

texts::Message alreadyRunningMessage() {
    return texts::Message{std::string(texts::kAlreadyRunning), texts::Icon::kInformation,
                          std::string(texts::kInfoTitle)};
}

}  // namespace kerfo::window
