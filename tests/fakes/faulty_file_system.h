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
    // Over `inner`: the real file system, or one restricted to some of its features.
    explicit FaultyFileSystem(platform::FileSystem& inner = platform::realFileSystem())
        : m_real(inner) {}

    // kLook: any question about a name (stat, attributes, identity, links), never failed.
    // kRead: a read of the job's source; failed on demand but not counted, so that
    // pausing at a step does not depend on the chunk size.
    enum class Op {
        kOpenRead,
        kOpenSource,
        kCreateNew,
        kSync,
        kApplyAccess,
        kClose,
        kCommit,
        kRemove,
        kLook,
        kRead
    };

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
        count(Op::kLook);
        return real().stat(path);
    }
    std::optional<platform::FileInfo> entry(const std::string& path) override {
        count(Op::kLook);
        return real().entry(path);
    }
    platform::Result<int> attributes(const std::string& path) override {
        count(Op::kLook);
        return real().attributes(path);
    }
    std::string resolve(const std::string& path) override {
        count(Op::kLook);
        return real().resolve(path);
    }
    std::optional<platform::FileIdentity> identity(const std::string& path) override {
        count(Op::kLook);
        return real().identity(path);
    }
    bool sameEntry(const std::string& a, const std::string& b) override {
        count(Op::kLook);
        return real().sameEntry(a, b);
    }

    platform::Result<std::unique_ptr<platform::File>> openRead(const std::string& path) override {
        KERFO_TRY(check(Op::kOpenRead));
        return wrapped<FaultyFile>(real().openRead(path));
    }
    platform::Result<std::unique_ptr<platform::SourceFile>> openSource(
        const std::string& path) override {
        KERFO_TRY(check(Op::kOpenSource));
        return wrapped<FaultySourceFile>(real().openSource(path));
    }
    platform::Result<std::unique_ptr<platform::NewFile>> createNew(
        const std::string& directory) override {
        KERFO_TRY(check(Op::kCreateNew));
        auto file = real().createNew(directory);
        if (file) ++newFiles;
        return wrapped<FaultyNewFile>(std::move(file));
    }
    void removeStaleTemps(const std::string& directory) noexcept override {
        real().removeStaleTemps(directory);
    }

private:
    // Passes the calls of one file on to the real one, failing and damaging on demand.
    template <typename Base>
    class Faulty : public Base {
    public:
        Faulty(FaultyFileSystem& owner, std::unique_ptr<Base> inner)
            : m_owner(owner), m_inner(std::move(inner)) {}
        platform::Result<std::size_t> read(char* buffer, std::size_t size) override {
            return m_inner->read(buffer, size);
        }
        platform::Status write(const char* data, std::size_t size) override {
            std::string bytes(data, size);
            auto& o = m_owner;
            if (o.corruptAt && *o.corruptAt >= o.written && *o.corruptAt < o.written + size) {
                bytes[*o.corruptAt - o.written] ^= 0x01;
            }
            if (o.writeLimit && o.written + size > *o.writeLimit) {
                const auto fits = static_cast<std::size_t>(*o.writeLimit - o.written);
                KERFO_TRY(m_inner->write(bytes.data(), fits));
                o.written += fits;
                return platform::RuntimeError::fromErrno(o.writeErrno);
            }
            KERFO_TRY(m_inner->write(bytes.data(), size));
            o.written += size;
            return {};
        }
        platform::Status sync() override {
            KERFO_TRY(m_owner.check(Op::kSync));
            return m_inner->sync();
        }
        void syncInBackground() noexcept override { m_inner->syncInBackground(); }
        void dropCached(std::uint64_t offset, std::uint64_t length) noexcept override {
            m_inner->dropCached(offset, length);
        }
        platform::Status setPermissions(unsigned permissions) override {
            return m_inner->setPermissions(permissions);
        }
        platform::Result<platform::FileStamp> stamp() override { return m_inner->stamp(); }
        platform::Result<platform::FileAccess> access() override { return m_inner->access(); }
        platform::Status close() override {
            KERFO_TRY(m_inner->close());
            return m_owner.check(Op::kClose);
        }

    protected:
        FaultyFileSystem& m_owner;
        std::unique_ptr<Base> m_inner;
    };
    using FaultyFile = Faulty<platform::File>;

    class FaultySourceFile final : public Faulty<platform::SourceFile> {
    public:
        using Faulty::Faulty;
        platform::Result<std::size_t> read(char* buffer, std::size_t size) override {
            auto& o = m_owner;
            if (o.failOp && *o.failOp == Op::kRead && --o.failOnCall == 0) {
                return platform::RuntimeError::fromErrno(o.failErrno);
            }
            return m_inner->read(buffer, size);
        }
        platform::Status checkNoWriter() override {
            count(Op::kLook);
            return m_inner->checkNoWriter();
        }

    private:
        void count(Op op) { m_owner.count(op); }
    };

    class FaultyNewFile final : public Faulty<platform::NewFile> {
    public:
        using Faulty::Faulty;
        platform::Result<std::unique_ptr<platform::File>> openReadBack() override {
            KERFO_TRY(m_owner.check(Op::kOpenRead));
            return m_owner.wrapped<FaultyFile>(m_inner->openReadBack());
        }
        platform::Status applyAccess(const platform::FileAccess& original) override {
            KERFO_TRY(m_owner.check(Op::kApplyAccess));
            return m_inner->applyAccess(original);
        }
        platform::Status commit(const std::string& path) override {
            KERFO_TRY(m_owner.check(Op::kCommit));
            return m_inner->commit(path);
        }
        platform::Status commitOver(const std::string& path,
                                    platform::SourceFile& original) override {
            KERFO_TRY(m_owner.check(Op::kCommit));
            return m_inner->commitOver(path, original);
        }
        platform::Status removeBeside(const std::string& path,
                                      const platform::FileIdentity& expected) override {
            KERFO_TRY(m_owner.check(Op::kRemove));
            return m_inner->removeBeside(path, expected);
        }
    };

    platform::FileSystem& real() { return m_real; }
    platform::FileSystem& m_real;

    // The real file `opened` wrapped as `Wrapper`, or its failure.
    template <typename Wrapper, typename Base>
    platform::Result<std::unique_ptr<Base>> wrapped(
        platform::Result<std::unique_ptr<Base>> opened) {
        if (!opened) return opened.error();
        return std::unique_ptr<Base>(std::make_unique<Wrapper>(*this, std::move(*opened)));
    }

    // Fails the chosen call; otherwise counts the operation and runs beforeEach.
    platform::Status check(Op op) {
        if (failOp && *failOp == op && --failOnCall == 0)
            return platform::RuntimeError::fromErrno(failErrno);
        count(op);
        return {};
    }
    // A question about a name is never failed (it has no failure to give).
    void count(Op op) {
        ++operations;
        if (beforeEach) beforeEach(op, operations);
    }
};

}  // namespace kerfo::test
