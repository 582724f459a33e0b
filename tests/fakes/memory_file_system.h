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
    int attributes(const std::string& path) override {
        existing(path);
        return attributeValue;
    }
    std::string resolve(const std::string& path) override { return path; }
    std::optional<platform::FileIdentity> identity(const std::string& path) override {
        if (files.count(path) == 0) return std::nullopt;
        return identityOf(path);
    }

    std::unique_ptr<platform::File> openRead(const std::string& path) override {
        existing(path);
        return std::make_unique<Reader>(files, path);
    }
    std::unique_ptr<platform::File> openSource(const std::string& path) override { return openRead(path); }
    std::unique_ptr<platform::NewFile> createNew(const std::string&) override {
        return std::make_unique<Writer>(*this);
    }
    void syncDirectory(const std::string&) noexcept override {}

private:
    // The content of the file at `path`; a missing file is error 53, as on disk.
    std::string& existing(const std::string& path) {
        const auto it = files.find(path);
        if (it == files.end()) throw platform::RuntimeError(platform::ErrorNumber::kFileNotFound);
        return it->second;
    }
    // One name, one file: the name's position in the alphabet of all names ever seen.
    platform::FileIdentity identityOf(const std::string& path) {
        const auto [it, added] = m_indexes.emplace(path, m_indexes.size() + 1);
        (void)added;
        return platform::FileIdentity{1, it->second};
    }

    // Reads the text `content` as it stands, so that it sees what a writer adds, as on a
    // real file system.
    class Reader final : public platform::File {
    public:
        Reader(std::map<std::string, std::string>& names, std::string path)
            : m_names(&names), m_path(std::move(path)) {}
        explicit Reader(const std::string& content) : m_content(&content) {}
        std::size_t read(char* buffer, std::size_t size) override {
            const std::string& content = text();
            const std::size_t n = std::min(size, content.size() - std::min(m_pos, content.size()));
            std::memcpy(buffer, content.data() + m_pos, n);
            m_pos += n;
            return n;
        }
        void write(const char*, std::size_t) override {
            throw platform::RuntimeError(platform::ErrorNumber::kPermissionDenied);
        }
        void sync() override {}
        void setPermissions(unsigned) override {}
        void close() override {}

    private:
        // The jobs never read a file after removing it; doing so fails.
        const std::string& text() {
            if (m_content != nullptr) return *m_content;
            const auto it = m_names->find(m_path);
            if (it == m_names->end()) throw platform::RuntimeError(platform::ErrorNumber::kFileNotFound);
            return it->second;
        }
        std::map<std::string, std::string>* m_names = nullptr;
        std::string m_path;
        const std::string* m_content = nullptr;
        std::size_t m_pos = 0;
    };

    class Writer final : public platform::NewFile {
    public:
        explicit Writer(MemoryFileSystem& owner) : m_owner(owner) {}
        std::size_t read(char*, std::size_t) override { return 0; }
        void write(const char* data, std::size_t size) override { m_content.append(data, size); }
        void sync() override {}
        void setPermissions(unsigned) override {}
        void close() override {}
        std::unique_ptr<platform::File> openReadBack() override { return std::make_unique<Reader>(m_content); }
        void applyAccess(const platform::FileAccess&) override {}
        void commit(const std::string& path) override {
            if (m_owner.files.count(path) != 0) {
                throw platform::RuntimeError(platform::ErrorNumber::kFileAlreadyExists);
            }
            m_owner.files[path] = m_content;
        }
        void commitOver(const std::string& path, const platform::FileIdentity& original) override {
            if (m_owner.identity(path) != original) throw platform::RuntimeError(platform::ErrorNumber::kFileAlreadyOpen);
            m_owner.files[path] = m_content;
        }
        void removeBeside(const std::string& path, const platform::FileIdentity& expected) override {
            if (m_owner.identity(path) != expected) throw platform::RuntimeError(platform::ErrorNumber::kFileAlreadyOpen);
            m_owner.files.erase(path);
        }

    private:
        MemoryFileSystem& m_owner;
        std::string m_content;
    };

    std::map<std::string, std::uint64_t> m_indexes;
};

}  // namespace kerfo::fuzz
