// Checking the temporary file while it is written. A second handle reads back what the
// job has written so far, as any later reader of the file would see it, on a helper
// thread a little behind the writer: the check costs the job next to no time of its own,
// and each stretch is read while it is still in the caches.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cipher/transform.h"
#include "filejobs/checksum.h"
#include "platform/file_system.h"

namespace kerfo::filejobs {

// What a check makes of the bytes it reads back, in order.
class ReadBackCheck {
public:
    virtual ~ReadBackCheck() = default;
    // Takes the next bytes of the file; raises platform::RuntimeError when they cannot be
    // what the job wrote (a check decodes with the cipher, which raises its errors).
    virtual void consume(const char* data, std::size_t size) = 0;
    // After the last byte: the checksum of the plain text the file stands for.
    virtual Checksum finish() = 0;
};

// The plain file a decryption writes: its own bytes.
class PlainCheck final : public ReadBackCheck {
public:
    void consume(const char* data, std::size_t size) override { m_sum.update(data, size); }
    Checksum finish() override { return m_sum; }

private:
    Checksum m_sum;
};

// The encrypted file an encryption writes: `headerLine` (the header and its CR LF)
// exactly, then a body that decrypts again under that header. A damaged header raises
// error 57, a body character that no encryption writes error 5.
class EncryptedCheck final : public ReadBackCheck {
public:
    explicit EncryptedCheck(std::string headerLine);
    void consume(const char* data, std::size_t size) override;
    Checksum finish() override;

private:
    std::string m_headerLine;
    std::size_t m_headerSeen = 0;
    cipher::DecryptTransform m_transform;
    std::vector<char> m_plain;
    Checksum m_sum;
};

// Feeds `check` with `file` (a second handle on the file being written) up to what the
// writer has reported written, on a helper thread, or on the writer's own thread where
// no helper can be started. Destroying it stops the helper. A failed read and an error
// the check raised both come back as the failure of written() or finish().
class ConcurrentReadBack {
public:
    ConcurrentReadBack(std::unique_ptr<platform::File> file, ReadBackCheck& check);
    ~ConcurrentReadBack();
    ConcurrentReadBack(const ConcurrentReadBack&) = delete;
    ConcurrentReadBack& operator=(const ConcurrentReadBack&) = delete;

    // The writer's writes have now put `total` bytes into the file. Fails with what the
    // check has already failed with, so that a job stops writing a file known to be bad.
    platform::Status written(std::uint64_t total);
    // After the last write: waits until all `total` bytes are read and checked, and
    // gives the check's checksum. Fails with the check's failure; a file that ends early
    // or goes on past `total` fails with 57.
    platform::Result<Checksum> finish(std::uint64_t total);

private:
    void run();
    // Reads and checks up to `target` bytes; returns early only at a failure.
    platform::Status readUpTo(std::uint64_t target);
    // The check's bytes, with what it raised as the failure.
    platform::Status consume(std::size_t size);
    platform::Result<Checksum> checkFinished();

    std::unique_ptr<platform::File> m_file;
    ReadBackCheck& m_check;
    std::vector<char> m_buffer;
    std::uint64_t m_read = 0;  // owned by whichever thread reads

    std::mutex m_mutex;
    std::condition_variable m_wake;  // the writer to the helper: more is written, or stop
    std::condition_variable m_done;  // the helper to the writer: it caught up, or failed
    std::uint64_t m_written = 0;
    std::uint64_t m_checked = 0;
    bool m_stop = false;
    platform::Status m_failure;  // the helper's, once it stopped at one
    std::thread m_thread;
};

// The temporary file as a job writes it: every write is read back and checked by `check`
// through `readHandle` (a second handle on the same file), and every few megabytes the
// file is synced in the background, so that the storage keeps pace with the job and the
// final sync has little left to wait for.
class CheckedOutput {
public:
    CheckedOutput(platform::File& out, std::unique_ptr<platform::File> readHandle, ReadBackCheck& check)
        : m_out(out), m_readBack(std::move(readHandle), check) {}

    // Writes to the file; fails with the write's failure or the read-back's.
    platform::Status write(const char* data, std::size_t size);
    // Everything is written: waits for the read-back to catch up and fails with error 57
    // when the plain text the file stands for is not `expected` (or the check's own error).
    platform::Status finish(const Checksum& expected);

private:
    platform::File& m_out;
    ConcurrentReadBack m_readBack;
    std::uint64_t m_total = 0;
    std::uint64_t m_unsynced = 0;
};

}  // namespace kerfo::filejobs
