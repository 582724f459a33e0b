// What the window model needs from outside besides its view: the persisted preferences,
// the target-file gate, the clock, ending the program, and the box of a second instance.
// Each is an interface so that the model's tests run without files, a store or a clock;
// the real ones are here too, shared by both windows.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "filejobs/gate.h"
#include "settings/general.h"
#include "settings/registry.h"
#include "settings/store.h"
#include "texts/message.h"

namespace kerfo::window {

// The persisted preferences. `load` runs first while the window loads, before the command
// line is read; `save` on the query-unload and again on the unload. Failures stay silent.
class SettingsService {
public:
    virtual ~SettingsService() = default;
    virtual void load(settings::PositionTarget& window, settings::CheckTarget& autoQuit) = 0;
    virtual void save(const settings::PositionTarget& window,
                      const settings::CheckTarget& autoQuit) = 0;
};

// The settings of a normal run: LoadPosition then LoadCheck, SavePosition then SaveCheck,
// through one store, key-path layer and `General` kept for the whole process (the values
// last read carry over, as the top position does when only "Left" could be read).
class StoredSettings final : public SettingsService {
public:
    // Uses `store`, or the current user's store (the registry on Windows, settings.ini in
    // $XDG_CONFIG_HOME/kerfo elsewhere) when it is null. Never fails: a store that cannot
    // be reached leaves loads without effect and saves silent. The "Incorrect Format:" box
    // of a malformed key path goes to `messages`, which must outlive the object.
    explicit StoredSettings(texts::MessageSink& messages,
                            std::unique_ptr<settings::StoreBackend> store = nullptr);

    void load(settings::PositionTarget& window, settings::CheckTarget& autoQuit) override;
    void save(const settings::PositionTarget& window,
              const settings::CheckTarget& autoQuit) override;

private:
    std::unique_ptr<settings::StoreBackend> m_store;
    settings::Registry m_registry;
    settings::General m_general;
};

// The target-file gate as the window runs it while loading.
class Gate {
public:
    virtual ~Gate() = default;
    // What to do with `userFile`: a refusal to show, or the mode and caption. Never fails.
    virtual filejobs::GateResult check(const std::string& userFile) = 0;
};

// filejobs::checkAll on the real file system.
class FileGate final : public Gate {
public:
    filejobs::GateResult check(const std::string& userFile) override;
};

// A clock that only goes forward, for how long a job has run.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::steady_clock::time_point now() const = 0;
};

class SteadyClock final : public Clock {
public:
    std::chrono::steady_clock::time_point now() const override {
        return std::chrono::steady_clock::now();
    }
};

// Ends the program with `code` once the running event handler has returned.
class ProcessExit {
public:
    virtual ~ProcessExit() = default;
    virtual void exit(int code) = 0;
};

// The box a second instance shows before it ends, without loading or saving anything.
texts::Message alreadyRunningMessage();

}  // namespace kerfo::window
