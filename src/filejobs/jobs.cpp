// The encrypt and decrypt jobs. Both stream: the file passes through a few fixed
// buffers, so memory stays bounded whatever its size. Both write to a private temporary
// file beside the target, read it back to check it, and only then rename it into place,
// so that a failure at any point leaves the original as it was.
#include "filejobs/jobs.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <vector>

#include "cipher/digest.h"
#include "cipher/transform.h"
#include "filejobs/checksum.h"
#include "filejobs/encrypted_file.h"
#include "filejobs/gate.h"
#include "filejobs/paths.h"
#include "filejobs/read_back.h"
#include "platform/file_system.h"
#include "texts/texts.h"

namespace kerfo::filejobs {
namespace {

using platform::ErrorNumber;
using platform::File;
using platform::FileSystem;
using platform::RuntimeError;

// Plain bytes per encryption step; the transform carries lines and groups across steps.
constexpr std::size_t kPlainChunk = 105 * 8192;

// What the job works on: the source (links resolved, so that the file itself is
// replaced) and the name of the new file, in the same folder.
struct Replacement {
    std::string source;
    std::string target;
    // The target name leads to the source itself (a case-insensitive folder, or the name
    // already ends in the new extension): the source is replaced in place.
    bool inPlace = false;
};

FileSystem& fileSystemOf(const JobContext& context) {
    return context.files != nullptr ? *context.files : platform::realFileSystem();
}

// Refuses anything but a regular file, and a target name that leads to another file: a
// job never replaces a file it did not read.
Replacement prepare(FileSystem& files, const std::string& userFile, std::string_view extension) {
    Replacement job{files.resolve(userFile), {}, false};
    const auto info = files.stat(job.source);
    if (!info) throw RuntimeError(ErrorNumber::kFileNotFound);
    if (info->type != platform::FileType::kRegular) {
        throw RuntimeError(ErrorNumber::kPathFileAccess);
    }
    job.target = replaceExtension(job.source, extension);
    if (files.identity(job.target)) {
        if (!files.sameFile(job.source, job.target)) throw RuntimeError(ErrorNumber::kFileAlreadyExists);
        job.inPlace = true;
    }
    return job;
}

// The source as the job opened it: held against other jobs, and remembered, so that a
// file changed (or swapped for another) while it was read is never replaced.
class Source {
public:
    Source(FileSystem& files, const std::string& path)
        : m_files(files), m_path(path), m_file(files.openSource(path)), m_stamp(m_file->stamp()) {}

    File& file() { return *m_file; }
    // Lets go of the file (and its lock) before the job is over.
    void close() { m_file.reset(); }
    const platform::FileIdentity& identity() const { return m_stamp.identity; }

    // Throws 55 when the file was written to (or truncated, or had its attributes
    // changed) since it was opened, or its name leads to another file by now.
    void checkUnchanged() {
        if (m_file->stamp() != m_stamp || m_files.identity(m_path) != m_stamp.identity) {
            throw RuntimeError(ErrorNumber::kFileAlreadyOpen);
        }
    }

private:
    FileSystem& m_files;
    std::string m_path;
    std::unique_ptr<File> m_file;
    platform::FileStamp m_stamp;
};

// Puts the checked, synced new file in place of the source, once the source is known to
// be still the file that was read: under the target name, never replacing a file that
// appeared there meanwhile (58), then removes the source if its name still leads to it.
// In place, the source is replaced atomically and nothing is removed.
JobResult commit(const Replacement& job, Source& source, platform::NewFile& out) {
    source.checkUnchanged();
    if (job.inPlace) {
        // Windows replaces no file that is open; commitOver checks the name again.
        source.close();
        out.commitOver(job.source, source.identity());
        return JobResult{JobStatus::kDone, job.source, std::nullopt};
    }
    out.commit(job.target);
    try {
        out.removeBeside(job.source, source.identity());
    } catch (const RuntimeError& error) {
        // The new file stands complete; report the failed removal.
        return JobResult{JobStatus::kFailed, job.target, error};
    }
    return JobResult{JobStatus::kDone, job.target, std::nullopt};
}

JobResult failure(const RuntimeError& error, std::string newPath = {}) {
    return JobResult{JobStatus::kFailed, std::move(newPath), error};
}

// Runs a job body, turning every failure into a result: the jobs never throw.
template <typename Body>
JobResult guarded(Body&& body) {
    try {
        return body();
    } catch (...) {
        return failure(platform::handledError());
    }
}

std::string headerFor(const std::string& saltText, std::string_view password) {
    const std::string salt = cipher::Hash(saltText);
    std::string header(kMarker);
    header += salt;
    header += passwordDigest(salt, password);
    return header;
}

// Writes the encrypted form of `in` to the new file `out`, checking it
// as it goes; throws when what reads back does not decrypt to what was read.
void writeEncrypted(File& in, platform::NewFile& out, const std::string& header) {
    const cipher::KeyedState keyed = cipher::keyState(header);
    std::string headerLine = header;
    headerLine += texts::kCrLf;

    // XOR, stretch and lines of 70 with CR LF, a chunk at a time; the last line (an
    // empty one for an empty file) comes from finish(). The check keys its own decryption
    // from the header line.
    cipher::EncryptTransform transform(keyed);
    EncryptedCheck check(headerLine);
    CheckedOutput output(out, out.openReadBack(), check);
    output.write(headerLine.data(), headerLine.size());

    std::vector<char> plain(kPlainChunk);
    std::vector<char> lines(cipher::EncryptTransform::maxOutput(kPlainChunk));
    Checksum sum;
    CacheRelease release(in);
    for (;;) {
        const std::size_t n = readFull(in, plain.data(), plain.size());
        release.passed(n);
        sum.update(plain.data(), n);
        const std::size_t w = transform.update(std::string_view(plain.data(), n), lines.data());
        if (w > 0) output.write(lines.data(), w);
        if (n < plain.size()) break;
    }
    output.write(lines.data(), transform.finish(lines.data()));
    output.finish(sum);
}

// Makes the written bytes durable, with the original's owner, group, mode and attributes.
void finish(platform::NewFile& out, const platform::FileAccess& access) {
    out.applyAccess(access);
    out.sync();
    out.close();
}

}  // namespace

JobContext defaultJobContext() {
    JobContext context;
    context.saltSource = [] {
        // The date, then the seconds since midnight to the hundredth, as the classic
        // runtime prints a single-precision number.
        const auto now = std::chrono::system_clock::now();
        const std::time_t t = std::chrono::system_clock::to_time_t(now);
        std::tm local{};
#ifdef _WIN32
        localtime_s(&local, &t);
#else
        localtime_r(&t, &local);
#endif
        const auto centiseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      now - std::chrono::system_clock::from_time_t(t))
                                      .count() / 10;
        const auto seconds = static_cast<float>(local.tm_hour * 3600 + local.tm_min * 60 +
                                                local.tm_sec + static_cast<double>(centiseconds) / 100.0);
        char text[64];
        std::snprintf(text, sizeof text, "%d/%d/%d%.7g", local.tm_mon + 1, local.tm_mday,
                      local.tm_year + 1900, static_cast<double>(seconds));
        return std::string(text);
    };
    return context;
}

JobResult Encrypt(const std::string& userFile, std::string_view password,
                  const JobContext& context) {
    return guarded([&]() -> JobResult {
        FileSystem& files = fileSystemOf(context);
        const Replacement job = prepare(files, userFile, ".kfo");
        const std::string saltText = context.saltSource ? context.saltSource() : std::string();
        const std::string header = headerFor(saltText, password);

        Source source(files, job.source);
        const std::string directory = platform::directoryOf(job.target);
        files.removeStaleTemps(directory);
        const auto out = files.createNew(directory);
        // Checked before the sync: the sync is the slow part and need not be paid for a
        // file that is already known to be wrong.
        writeEncrypted(source.file(), *out, header);
        finish(*out, source.file().access());
        return commit(job, source, *out);
    });
}

JobResult Decrypt(const std::string& userFile, std::string_view password,
                  const JobContext& context) {
    return guarded([&]() -> JobResult {
        FileSystem& files = fileSystemOf(context);
        const Replacement job = prepare(files, userFile, ".txt");

        Source source(files, job.source);
        EncryptedReader reader(source.file());
        const std::string header = reader.headerLine();
        if (!passwordOpens(reader, header, password)) {
            return JobResult{JobStatus::kWrongPassword, {}, std::nullopt};
        }

        const cipher::KeyedState keyed = cipher::keyState(header);
        const std::string directory = platform::directoryOf(job.target);
        files.removeStaleTemps(directory);
        const auto out = files.createNew(directory);
        {
            PlainCheck check;
            CheckedOutput output(*out, out->openReadBack(), check);
            Checksum plainSum;
            decodeBody(reader, keyed, [&](const char* data, std::size_t size) {
                plainSum.update(data, size);
                output.write(data, size);
            });
            output.finish(plainSum);
        }
        finish(*out, source.file().access());
        return commit(job, source, *out);
    });
}

}  // namespace kerfo::filejobs
