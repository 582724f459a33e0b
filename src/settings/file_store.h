// The settings store outside Windows: one text file per user,
// $XDG_CONFIG_HOME/kerfo/settings.ini ($HOME/.config/kerfo/settings.ini when
// XDG_CONFIG_HOME is unset, empty or not an absolute path). Its format is described in
// key_tree.h.
//
// Every change re-reads the file and writes it whole under an exclusive advisory lock
// (flock on settings.lock beside it): to settings.ini.tmp, synced, then renamed over the
// old file and the folder synced. A crash or a second process therefore never leaves a
// half-written file, and two processes saving at once never lose each other's changes.
// Reads take no lock: the rename makes each read see one complete file.
//
// A settings file that cannot be read as a whole (not well formed, larger than
// kMaxStoreFileSize, not a regular file, or not readable for lack of permission) reads as
// holding no keys, and the next change replaces it. Only a passing failure (out of file
// handles or memory, an I/O error) makes changes fail instead, so that a good file is not
// overwritten with a near-empty one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "settings/key_tree.h"
#include "settings/store.h"

namespace kerfo::settings {

inline constexpr std::size_t kMaxStoreFileSize = 1 << 20;
inline constexpr std::string_view kStoreFileName = "settings.ini";

class FileStore final : public StoreBackend {
public:
    // A store kept in `directory`, which is made (mode 0700, with its parents) by the first
    // change. An empty path gives a store that holds nothing and refuses every change.
    explicit FileStore(std::filesystem::path directory);

    // The current user's folder, from the environment at the time of the call:
    // $XDG_CONFIG_HOME/kerfo, else $HOME/.config/kerfo, else the home folder of the user's
    // account entry; empty when none of these is known.
    static std::filesystem::path defaultDirectory();

    std::filesystem::path filePath() const;
    // How many keys are open, for tests that check nothing is left open.
    std::size_t openKeyCount() const { return m_open.size(); }

    std::int32_t openKey(KeyHandle parent, const std::string& subKey, std::uint32_t access,
                         KeyHandle& key) override;
    std::int32_t createKey(KeyHandle parent, const std::string& subKey, KeyHandle& key) override;
    std::int32_t queryValue(KeyHandle key, const std::string& valueName, std::uint32_t& type,
                            char* data, std::uint32_t& length) override;
    std::int32_t setValue(KeyHandle key, const std::string& valueName, std::uint32_t type,
                          const char* data, std::uint32_t length) override;
    std::int32_t closeKey(KeyHandle key) override;

private:
    struct Loaded {
        KeyTree tree;
        // Cleared when the file could not be read for a passing reason: changes must not
        // replace it then.
        bool replaceable = true;
    };

    Loaded load() const;
    // Writes the file whole: kOk, or the store's code for the failure.
    std::int32_t save(const KeyTree& tree) const;
    // Every change's prologue: makes the folder, takes the lock, loads the file, then runs
    // `change` on what it loaded while the lock is held and returns its code; or returns
    // the code of the step that failed before it.
    std::int32_t lockAndLoad(const std::function<std::int32_t(Loaded&)>& change) const;
    // The path of an open key (or a root), or kInvalidHandle.
    std::int32_t keyPath(KeyHandle key, std::string& path) const;
    // The full path of `subKey` below `parent`, or a failure code.
    std::int32_t resolve(KeyHandle parent, const std::string& subKey, std::string& path) const;
    KeyHandle remember(std::string path);

    std::filesystem::path m_directory;
    std::map<KeyHandle, std::string> m_open;
    KeyHandle m_nextHandle = 1;
};

}  // namespace kerfo::settings
