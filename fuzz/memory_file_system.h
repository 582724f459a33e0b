// A file layer held in memory, for the fuzz targets: fast enough for millions of runs,
// and it lets a target see every file a job leaves behind. One directory, "/mem".
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

    std::unique_ptr<platform::File> openRead(const std::string& path) override {
        existing(path);
        return std::make_unique<Reader>(*this, path);
    }
    std::unique_ptr<platform::File> createTemp(const std::string& directory,
                                               std::string& createdPath) override {
        createdPath = directory + "/.kerfo-" + std::to_string(m_next++);
        files[createdPath];
        return std::make_unique<Writer>(*this, createdPath);
    }
    void rename(const std::string& from, const std::string& to) override {
        const auto it = files.find(from);
        if (it == files.end()) throw platform::RuntimeError(platform::ErrorNumber::kFileNotFound);
        std::string content = std::move(it->second);
        files.erase(it);
        files[to] = std::move(content);
    }
    void remove(const std::string& path) override {
        if (files.erase(path) == 0) throw platform::RuntimeError(platform::ErrorNumber::kFileNotFound);
    }
    void syncDirectory(const std::string&) noexcept override {}

private:
    // The content of the file at `path`; a missing file is error 53, as on disk.
    std::string& existing(const std::string& path) {
        const auto it = files.find(path);
        if (it == files.end()) throw platform::RuntimeError(platform::ErrorNumber::kFileNotFound);
        return it->second;
    }

    // Reads the file as it stands, so that it sees what a writer adds, as on a real file
    // system. The jobs never read a file after renaming or removing it; doing so fails.
    class Reader final : public platform::File {
    public:
        Reader(MemoryFileSystem& owner, std::string path) : m_owner(owner), m_path(std::move(path)) {}
        std::size_t read(char* buffer, std::size_t size) override {
            const std::string& content = m_owner.existing(m_path);
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
        MemoryFileSystem& m_owner;
        std::string m_path;
        std::size_t m_pos = 0;
    };

    class Writer final : public platform::File {
    public:
        Writer(MemoryFileSystem& owner, std::string path) : m_owner(owner), m_path(std::move(path)) {}
        std::size_t read(char*, std::size_t) override { return 0; }
        void write(const char* data, std::size_t size) override {
            m_owner.existing(m_path).append(data, size);
        }
        void sync() override {}
        void setPermissions(unsigned) override {}
        void close() override {}

    private:
        MemoryFileSystem& m_owner;
        std::string m_path;
    };

    unsigned m_next = 0;
};

}  // namespace kerfo::fuzz
