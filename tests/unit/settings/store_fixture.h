// A per-test user store: a fresh $XDG_CONFIG_HOME, the file store the program would use
// there, and the key-path layer over it with its boxes recorded.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "fakes/recording_sink.h"
#include "settings/file_store.h"
#include "settings/registry.h"

namespace kerfo::test {

// A fresh folder for one test, removed with everything in it afterwards.
class TempHome {
public:
    TempHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kerfo-settings-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempHome() {
        std::error_code ignored;
        // A test may have taken permissions away; give them back so everything goes.
        std::filesystem::permissions(m_path / "kerfo" / settings::kStoreFileName,
                                     std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

class UserStoreTest : public ::testing::Test {
protected:
    UserStoreTest() {
        ::setenv("XDG_CONFIG_HOME", m_home.path().c_str(), 1);
        resetStore();
    }
    ~UserStoreTest() override { ::unsetenv("XDG_CONFIG_HOME"); }

    // A new store and key-path layer, as a new run of the program would have.
    void resetStore() {
        registry.reset();
        store = std::make_unique<settings::FileStore>(settings::FileStore::defaultDirectory());
        registry = std::make_unique<settings::Registry>(*store, sink);
    }

    std::string fileText() const {
        std::ifstream in(store->filePath(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void writeFile(const std::string& bytes) const {
        std::ofstream(store->filePath(), std::ios::binary | std::ios::trunc) << bytes;
    }

    TempHome m_home;
    RecordingSink sink;
    std::unique_ptr<settings::FileStore> store;
    std::unique_ptr<settings::Registry> registry;
};

}  // namespace kerfo::test
