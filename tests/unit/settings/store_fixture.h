// A per-test user store: a fresh $XDG_CONFIG_HOME, the file store the program would use
// there (the registry on Windows), and the key-path layer over it with its boxes recorded.
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
#include "settings/registry.h"
#ifdef _WIN32
#include <set>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include "settings/file_store.h"
#endif

namespace kerfo::test {

#ifdef _WIN32
// On Windows the user's store is the registry itself. The tests own the program's key
// (HKEY_CURRENT_USER\Software\Tarnwick) and one value on the root: they remove both
// before and after each test, so run them in a throwaway Wine prefix or machine.
inline void clearUserRegistry() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tarnwick");
    ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tarnwick");
    ::RegDeleteValueA(HKEY_CURRENT_USER, "AtRoot");
}

// The registry store, counting the keys it has open.
class CountingStore final : public settings::StoreBackend {
public:
    std::size_t openKeyCount() const { return m_open.size(); }

    std::int32_t openKey(settings::KeyHandle parent, const std::string& subKey, std::uint32_t access,
                         settings::KeyHandle& key) override {
        const std::int32_t result = m_store->openKey(parent, subKey, access, key);
        return remember(result, key);
    }
    std::int32_t createKey(settings::KeyHandle parent, const std::string& subKey,
                           settings::KeyHandle& key) override {
        const std::int32_t result = m_store->createKey(parent, subKey, key);
        return remember(result, key);
    }
    std::int32_t queryValue(settings::KeyHandle key, const std::string& valueName, std::uint32_t& type,
                            char* data, std::uint32_t& length) override {
        return m_store->queryValue(key, valueName, type, data, length);
    }
    std::int32_t setValue(settings::KeyHandle key, const std::string& valueName, std::uint32_t type,
                          const char* data, std::uint32_t length) override {
        return m_store->setValue(key, valueName, type, data, length);
    }
    std::int32_t closeKey(settings::KeyHandle key) override {
        m_open.erase(key);
        return m_store->closeKey(key);
    }

private:
    std::int32_t remember(std::int32_t result, settings::KeyHandle key) {
        if (result == settings::kOk) m_open.insert(key);
        return result;
    }
    std::unique_ptr<settings::StoreBackend> m_store = settings::openUserStore();
    std::set<settings::KeyHandle> m_open;
};

// Every key below `key` with its values, as "[path]" and "Name=data" lines.
inline void dumpKey(HKEY key, const std::string& path, std::string& out) {
    out += "[" + path + "]\n";
    char name[256];
    BYTE data[4096];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        DWORD dataSize = sizeof data;
        if (::RegEnumValueA(key, i, name, &nameSize, nullptr, nullptr, data, &dataSize) != ERROR_SUCCESS) break;
        std::string text(reinterpret_cast<const char*>(data), dataSize);
        if (!text.empty() && text.back() == '\0') text.pop_back();
        out += std::string(name, nameSize) + "=" + text + "\n";
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        if (::RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY child = nullptr;
        if (::RegOpenKeyExA(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        dumpKey(child, path + "\\" + name, out);
        ::RegCloseKey(child);
    }
}
#endif

#ifndef _WIN32
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

    // Whether anything has been written to the store at all.
    bool storeExists() const { return std::filesystem::exists(store->filePath()); }

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
#else
class UserStoreTest : public ::testing::Test {
protected:
    UserStoreTest() {
        clearUserRegistry();
        resetStore();
    }
    ~UserStoreTest() override {
        registry.reset();
        store.reset();
        clearUserRegistry();
    }

    // A new store and key-path layer, as a new run of the program would have.
    void resetStore() {
        registry.reset();
        store = std::make_unique<CountingStore>();
        registry = std::make_unique<settings::Registry>(*store, sink);
    }

    // Whether the program's key has been made at all.
    bool storeExists() const {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tarnwick", 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        ::RegCloseKey(key);
        return true;
    }

    // The program's keys and values, in the settings file's "Name=data" lines.
    std::string fileText() const {
        std::string out;
        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tarnwick", 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return out;
        }
        dumpKey(key, "Software\\Tarnwick", out);
        ::RegCloseKey(key);
        return out;
    }

    RecordingSink sink;
    std::unique_ptr<CountingStore> store;
    std::unique_ptr<settings::Registry> registry;
};
#endif

}  // namespace kerfo::test
