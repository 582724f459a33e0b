// A file layer over the real one that fails on demand: the disk fills after N written
// bytes, a chosen operation fails with a chosen errno, or a written byte is damaged.
// Lets tests running as root see the failures that permission bits cannot cause there.
// `beforeEach` runs before every operation, so that a test can pause a job at any step
// and let something else happen to its files right there.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file_system.h"

namespace kerfo::test {

class FaultyFileSystem : public platform::FileSystem {
public:
    // kLook: any question about a name (stat, attributes, identity, links), never failed.
    enum class Op { kOpenRead, kOpenSource, kCreateNew, kSync, kApplyAccess, kClose, kCommit, kRemove, kLook };

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

    // Runs before each operation (after the failure check), with its number, from 1.
    std::function<void(Op, int)> beforeEach;

    std::uint64_t written = 0;
    int newFiles = 0;
    int operations = 0;

    std::optional<platform::FileInfo> stat(const std::string& path) override {
        check(Op::kLook);
        return real().stat(path);
    }
    int attributes(const std::string& path) override {
        check(Op::kLook);
        return real().attributes(path);
    }
    std::string resolve(const std::string& path) override {
        check(Op::kLook);
        return real().resolve(path);
    }
    std::optional<platform::FileIdentity> identity(const std::string& path) override {
        check(Op::kLook);
        return real().identity(path);
    }
    bool sameFile(const std::string& a, const std::string& b) override {
        check(Op::kLook);
        return real().sameFile(a, b);
    }

    std::unique_ptr<platform::File> openRead(const std::string& path) override {
        check(Op::kOpenRead);
        return std::make_unique<FaultyFile>(*this, real().openRead(path));
    }
    std::unique_ptr<platform::File> openSource(const std::string& path) override {
        check(Op::kOpenSource);
        return std::make_unique<FaultyFile>(*this, real().openSource(path));
    }
    std::unique_ptr<platform::NewFile> createNew(const std::string& directory) override {
        check(Op::kCreateNew);
        auto file = real().createNew(directory);
        ++newFiles;
        return std::make_unique<FaultyNewFile>(*this, std::move(file));
    }
    void removeStaleTemps(const std::string& directory) noexcept override {
        real().removeStaleTemps(directory);
    }
    void syncDirectory(const std::string& directory) noexcept override {
        real().syncDirectory(directory);
    }

private:
    // Passes the calls of one file on to the real one, failing and damaging on demand.
    template <typename Base>
    class Faulty : public Base {
    public:
        Faulty(FaultyFileSystem& owner, std::unique_ptr<Base> inner)
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
        void setPermissions(unsigned permissions) override { m_inner->setPermissions(permissions); }
        platform::FileStamp stamp() override { return m_inner->stamp(); }
        platform::FileAccess access() override { return m_inner->access(); }
        void close() override {
            m_inner->close();
            m_owner.check(Op::kClose);
        }

    protected:
        FaultyFileSystem& m_owner;
        std::unique_ptr<Base> m_inner;
    };
    using FaultyFile = Faulty<platform::File>;

    class FaultyNewFile final : public Faulty<platform::NewFile> {
    public:
        using Faulty::Faulty;
        std::unique_ptr<platform::File> openReadBack() override {
            m_owner.check(Op::kOpenRead);
            return std::make_unique<FaultyFile>(m_owner, m_inner->openReadBack());
        }
        void applyAccess(const platform::FileAccess& original) override {
            m_owner.check(Op::kApplyAccess);
            m_inner->applyAccess(original);
        }
        void commit(const std::string& path) override {
            m_owner.check(Op::kCommit);
            m_inner->commit(path);
        }
        void commitOver(const std::string& path, const platform::FileIdentity& original) override {
            m_owner.check(Op::kCommit);
            m_inner->commitOver(path, original);
        }
        void removeBeside(const std::string& path, const platform::FileIdentity& expected) override {
            m_owner.check(Op::kRemove);
            m_inner->removeBeside(path, expected);
        }
    };

    static platform::FileSystem& real() { return platform::realFileSystem(); }

    void check(Op op) {
        if (failOp && *failOp == op && --failOnCall == 0) {
            throw platform::RuntimeError::fromErrno(failErrno);
        }
        ++operations;
        if (beforeEach) beforeEach(op, operations);
    }
};

}  // namespace kerfo::test
