// An in-memory settings store that logs every call, counts the keys left open and fails
// chosen operations on demand: for checking what the key-path layer asks of its store.
#pragma once

#include <cstdint>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "settings/store.h"

namespace kerfo::test {

class MemoryStore : public settings::StoreBackend {
public:
    struct Value {
        std::uint32_t type = settings::kRegSz;
        std::string data;  // strings without their terminator
    };

    // Calls made, as "open <root> <subKey>", "create ...", "query <name>", "set <name>",
    // "close".
    std::vector<std::string> calls;
    // When set, every call of that kind ("open", "create", "query", "set", "close") returns it.
    std::map<std::string, std::int32_t> failures;

    // Keys by "<root hex>\<sub-key>" in lower case; a key may hold no values.
    std::map<std::string, std::map<std::string, Value>> keys;

    std::size_t openCount() const { return m_open.size(); }

    static std::string keyName(settings::KeyHandle root, const std::string& subKey) {
        std::string name = std::to_string(root);
        if (!subKey.empty()) name += "\\" + subKey;
        for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return name;
    }
    static std::string lower(std::string text) {
        for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }

    // Puts a value straight into the store, making its key.
    void put(settings::KeyHandle root, const std::string& subKey, const std::string& name, Value value) {
        keys[keyName(root, subKey)][lower(name)] = std::move(value);
    }

    std::int32_t openKey(settings::KeyHandle parent, const std::string& subKey, std::uint32_t,
                         settings::KeyHandle& key) override {
        calls.push_back("open " + std::to_string(parent) + " " + subKey);
        key = 0;
        if (auto it = failures.find("open"); it != failures.end()) return it->second;
        const auto name = keyName(parent, subKey);
        if (!subKey.empty() && keys.count(name) == 0) return settings::kNotFound;
        key = m_next++;
        m_open[key] = name;
        return settings::kOk;
    }

    std::int32_t createKey(settings::KeyHandle parent, const std::string& subKey,
                           settings::KeyHandle& key) override {
        calls.push_back("create " + std::to_string(parent) + " " + subKey);
        key = 0;
        if (auto it = failures.find("create"); it != failures.end()) return it->second;
        const auto name = keyName(parent, subKey);
        keys[name];
        key = m_next++;
        m_open[key] = name;
        return settings::kOk;
    }

    std::int32_t queryValue(settings::KeyHandle key, const std::string& valueName, std::uint32_t& type,
                            char* data, std::uint32_t& length) override {
        calls.push_back("query " + valueName);
        if (auto it = failures.find("query"); it != failures.end()) return it->second;
        const auto& values = keys[m_open.at(key)];
        const auto it = values.find(lower(valueName));
        if (it == values.end()) return settings::kNotFound;
        std::string bytes = it->second.data;
        if (it->second.type == settings::kRegSz) bytes += '\0';
        type = it->second.type;
        if (bytes.size() > length) {
            length = static_cast<std::uint32_t>(bytes.size());
            return settings::kMoreData;
        }
        std::memcpy(data, bytes.data(), bytes.size());
        length = static_cast<std::uint32_t>(bytes.size());
        return settings::kOk;
    }

    std::int32_t setValue(settings::KeyHandle key, const std::string& valueName, std::uint32_t type,
                          const char* data, std::uint32_t length) override {
        calls.push_back("set " + valueName);
        if (auto it = failures.find("set"); it != failures.end()) return it->second;
        keys[m_open.at(key)][lower(valueName)] = Value{type, std::string(data, length)};
        return settings::kOk;
    }

    std::int32_t closeKey(settings::KeyHandle key) override {
        calls.push_back("close");
        m_open.erase(key);
        if (auto it = failures.find("close"); it != failures.end()) return it->second;
        return settings::kOk;
    }

private:
    std::map<settings::KeyHandle, std::string> m_open;
    settings::KeyHandle m_next = 1;
};

}  // namespace kerfo::test
