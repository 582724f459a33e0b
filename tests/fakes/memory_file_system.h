// A file layer held in memory, for the fuzz targets: fast enough for millions of runs,
// and it lets a target see every file a job leaves behind. One directory, "/mem". A new
// file has no name until it is committed, as on Linux, so a target sees only what stands.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/file_system.h"

namespace kerfo::fuzz {

class MemoryFileSystem final : public platform::FileSystem {
public:
    std::map<std::string, std::string> files;
    // The attribute value every file reports.
    int attributeValue = 0;

    std::optional<platform::FileInfo> stat(const std::string& path) override {
        const auto it = files.find(path);
        if (it == files.end()) return std::nullopt;
        platform::FileInfo info;
        info.size = it->second.size();
        info.permissions = 0644;
        return info;
    }
    // No links here: every name is its own regular file.
    std::optional<platform::FileInfo> entry(const std::string& path) override { return stat(path); }
    platform::Result<int> attributes(const std::string& path) override {
        if (files.count(path) == 0) return missing();
        return attributeValue;
    }
    std::string resolve(const std::string& path) override { return path; }
    std::optional<platform::FileIdentity> identity(const std::string& path) override {
        if (files.count(path) == 0) return std::nullopt;
        return identityOf(path);
    }
    bool sameEntry(const std::string& a, const std::string& b) override {
        return a == b && files.count(a) != 0;
    }

    platform::Result<std::unique_ptr<platform::File>> openRead(const std::string& path) override {
        if (files.count(path) == 0) return missing();
        return std::make_unique<Reader>(*this, path);
    }
    platform::Result<std::unique_ptr<platform::SourceFile>> openSource(
        const std::string& path) override {
        if (files.count(path) == 0) return missing();
        return std::make_unique<Reader>(*this, path);
    }
    platform::Result<std::unique_ptr<platform::NewFile>> createNew(const std::string&) override {
        return std::make_unique<Writer>(*this);
    }
    // A new file has no name until it is committed, so nothing is ever left to sweep.
    void removeStaleTemps(const std::string&) noexcept override {}

private:
    // A missing file is error 53, as on disk.
    static platform::RuntimeError missing() {
        return platform::RuntimeError(platform::ErrorNumber::kFileNotFound);
    }
    // One name, one file: the name's position in the alphabet of all names ever seen.
    platform::FileIdentity identityOf(const std::string& path) {
        const auto [it, added] = m_indexes.emplace(path, m_indexes.size() + 1);
        (void)added;
        return platform::FileIdentity{1, it->second};
    }

    // The identity, size and times of a file that holds `content`: the jobs compare the
    // stamp taken when they open the source with the one before they replace it.
    platform::FileStamp stampOf(const std::string& path, const std::string& content) {
        platform::FileStamp stamp;
        stamp.identity = identityOf(path);
        stamp.size = content.size();
        return stamp;
    }
    // The stamp of a file no name leads to (one being written, or read back).
    static platform::FileStamp stampOf(const std::string& content) {
        platform::FileStamp stamp;
        stamp.size = content.size();
        return stamp;
    }

    // Reads the text `content` as it stands, so that it sees what a writer adds, as on a
    // real file system. No other program is here to write to a source.
    class Reader final : public platform::SourceFile {
    public:
        Reader(MemoryFileSystem& owner, std::string path)
            : m_owner(&owner), m_path(std::move(path)) {}
        explicit Reader(const std::string& content) : m_content(&content) {}
        platform::Result<std::size_t> read(char* buffer, std::size_t size) override {
            const std::string* content = text();
            if (content == nullptr) return missing();
            const std::size_t n =
                std::min(size, content->size() - std::min(m_pos, content->size()));
            std::memcpy(buffer, content->data() + m_pos, n);
            m_pos += n;
            return n;
        }
        platform::Status write(const char*, std::size_t) override {
            return platform::RuntimeError(platform::ErrorNumber::kPermissionDenied);
        }
        platform::Status sync() override { return {}; }
        platform::Status setPermissions(unsigned) override { return {}; }
        platform::Result<platform::FileStamp> stamp() override {
            const std::string* content = text();
            if (content == nullptr) return missing();
            if (m_owner == nullptr) return stampOf(*content);
            return m_owner->stampOf(m_path, *content);
        }
        platform::Result<platform::FileAccess> access() override {
            return platform::FileAccess{0, 0, 0644, {}};
        }
        platform::Status checkNoWriter() override { return {}; }
        platform::Status close() override { return {}; }

    private:
        // The jobs never read a file after removing it; doing so fails (null).
        const std::string* text() {
            if (m_content != nullptr) return m_content;
            const auto it = m_owner->files.find(m_path);
            return it == m_owner->files.end() ? nullptr : &it->second;
        }
        MemoryFileSystem* m_owner = nullptr;
        std::string m_path;
        const std::string* m_content = nullptr;
        std::size_t m_pos = 0;
    };

    class Writer final : public platform::NewFile {
    public:
        explicit Writer(MemoryFileSystem& owner) : m_owner(owner) {}
        platform::Result<std::size_t> read(char*, std::size_t) override { return std::size_t{0}; }
        platform::Status write(const char* data, std::size_t size) override {
            m_content.append(data, size);
            return {};
        }
        platform::Status sync() override { return {}; }
        platform::Status setPermissions(unsigned) override { return {}; }
        platform::Result<platform::FileStamp> stamp() override {
            return stampOf(m_content);
        }
        platform::Result<platform::FileAccess> access() override {
            return platform::FileAccess{0, 0, 0600, {}};
        }
        platform::Status close() override { return {}; }
        platform::Result<std::unique_ptr<platform::File>> openReadBack() override {
            return std::make_unique<Reader>(m_content);
        }
        platform::Status applyAccess(const platform::FileAccess&) override { return {}; }
        platform::Status commit(const std::string& path) override {
            if (m_owner.files.count(path) != 0)
                return platform::RuntimeError(platform::ErrorNumber::kFileAlreadyExists);
            m_owner.files[path] = m_content;
            return {};
        }
        platform::Status commitOver(const std::string& path,
                                    platform::SourceFile& original) override {
            const auto stamp = original.stamp();
            if (!stamp) return stamp.error();
            if (m_owner.identity(path) != stamp->identity)
                return platform::RuntimeError(platform::ErrorNumber::kFileAlreadyOpen);
            m_owner.files[path] = m_content;
            return {};
        }
        platform::Status removeBeside(const std::string& path,
                                      const platform::FileIdentity& expected) override {
            if (m_owner.identity(path) != expected)
                return platform::RuntimeError(platform::ErrorNumber::kFileAlreadyOpen);
            m_owner.files.erase(path);
            return {};
        }

    private:
        MemoryFileSystem& m_owner;
        std::string m_content;
    };

    std::map<std::string, std::uint64_t> m_indexes;
};

}  // namespace kerfo::fuzz
