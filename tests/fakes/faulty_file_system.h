// A file layer over the real one that fails on demand: the disk fills after N written
// bytes, a chosen operation fails with a chosen errno, or a written byte is damaged.
// Lets tests running as root see the failures that permission bits cannot cause there.
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file_system.h"

namespace kerfo::test {

class FaultyFileSystem : public platform::FileSystem {
public:
    enum class Op { kOpenRead, kCreateTemp, kSync, kSetPermissions, kClose, kRename, kRemove };

    // Writes succeed for this many bytes in total; the write that crosses the limit puts
    // what fits and then fails with `errno` (ENOSPC unless set otherwise).
    std::optional<std::uint64_t> writeLimit;
    int writeErrno = ENOSPC;
    // The next call of `failOp` (the `failOnCall`-th, counted from 1) fails with `failErrno`.
    std::optional<Op> failOp;
    int failOnCall = 1;
    int failErrno = EIO;
    // The written byte at this offset (over all writes) is flipped, as faulty storage would.
    std::optional<std::uint64_t> corruptAt;

    std::uint64_t written = 0;
    std::vector<std::string> temporaries;

    std::optional<platform::FileInfo> stat(const std::string& path) override {
        return real().stat(path);
    }
    int attributes(const std::string& path) override { return real().attributes(path); }
    std::string resolve(const std::string& path) override { return real().resolve(path); }

    std::unique_ptr<platform::File> openRead(const std::string& path) override {
        check(Op::kOpenRead);
        return std::make_unique<FaultyFile>(*this, real().openRead(path));
    }
    std::unique_ptr<platform::File> createTemp(const std::string& directory,
                                               std::string& createdPath) override {
        check(Op::kCreateTemp);
        auto file = real().createTemp(directory, createdPath);
        temporaries.push_back(createdPath);
        return std::make_unique<FaultyFile>(*this, std::move(file));
    }
    void rename(const std::string& from, const std::string& to) override {
        check(Op::kRename);
        real().rename(from, to);
    }
    void remove(const std::string& path) override {
        check(Op::kRemove);
        real().remove(path);
    }
    void syncDirectory(const std::string& directory) noexcept override {
        real().syncDirectory(directory);
    }

private:
    class FaultyFile : public platform::File {
    public:
        FaultyFile(FaultyFileSystem& owner, std::unique_ptr<platform::File> inner)
            : m_owner(owner), m_inner(std::move(inner)) {}
        std::size_t read(char* buffer, std::size_t size) override {
            return m_inner->read(buffer, size);
        }
        void write(const char* data, std::size_t size) override {
            std::string bytes(data, size);
            auto& o = m_owner;
            if (o.corruptAt && *o.corruptAt >= o.written && *o.corruptAt < o.written + size) {
                bytes[*o.corruptAt - o.written] ^= 0x01;
            }
            if (o.writeLimit && o.written + size > *o.writeLimit) {
                const auto fits = static_cast<std::size_t>(*o.writeLimit - o.written);
                m_inner->write(bytes.data(), fits);
                o.written += fits;
                throw platform::RuntimeError::fromErrno(o.writeErrno);
            }
            m_inner->write(bytes.data(), size);
            o.written += size;
        }
        void sync() override {
            m_owner.check(Op::kSync);
            m_inner->sync();
        }
        void syncInBackground() noexcept override { m_inner->syncInBackground(); }
        void dropCached(std::uint64_t offset, std::uint64_t length) noexcept override {
            m_inner->dropCached(offset, length);
        }
        void setPermissions(unsigned permissions) override {
            m_owner.check(Op::kSetPermissions);
            m_inner->setPermissions(permissions);
        }
        void close() override {
            m_inner->close();
            m_owner.check(Op::kClose);
        }

    private:
        FaultyFileSystem& m_owner;
        std::unique_ptr<platform::File> m_inner;
    };

    static platform::FileSystem& real() { return platform::realFileSystem(); }

    void check(Op op) {
        if (failOp && *failOp == op && --failOnCall == 0) {
            throw platform::RuntimeError::fromErrno(failErrno);
        }
    }
};

}  // namespace kerfo::test
