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
using platform::Result;
using platform::RuntimeError;
using platform::Status;

// Plain bytes per encryption step; the transform carries lines and groups across steps.
constexpr std::size_t kPlainChunk = 105 * 8192;

// What the job works on: the source and the name of the new file, in the same folder.
struct Replacement {
    std::string source;
    std::string target;
    // The target name is the source's own entry spelled another way (a case-insensitive
    // folder), or the name already ends in the new extension: replaced in place.
    bool inPlace = false;
};

FileSystem& fileSystemOf(const JobContext& context) {
    return context.files != nullptr ? *context.files : platform::realFileSystem();
}

// Refuses anything but a regular file with one name, and any entry under the target name
// but the source's own: a job never replaces a file it did not read, and never leaves the
// text under a second name. The new name is made by replaceExtension, which raises its
// error for a name it cannot make.
Result<Replacement> prepare(FileSystem& files, const std::string& userFile,
                            std::string_view extension) {
    Replacement job{userFile, {}, false};
    const auto info = files.entry(job.source);
    if (!info) return RuntimeError(ErrorNumber::kFileNotFound);
    if (info->type != platform::FileType::kRegular || info->links != 1) {
        return RuntimeError(ErrorNumber::kPathFileAccess);
    }
    job.target = replaceExtension(job.source, extension);
    if (files.entry(job.target)) {
        if (!files.sameEntry(job.source, job.target))
            return RuntimeError(ErrorNumber::kFileAlreadyExists);
        job.inPlace = true;
    }
    return job;
}

// The source as the job opened it: held against other jobs and writers, and remembered,
// so that a file changed (or swapped for another) while it was read is never replaced.
class Source {
public:
    // Opens `path` as the job's source; fails as openSource and stamp do, and with 75 for
    // a file that has another name by now.
    static Result<Source> open(FileSystem& files, const std::string& path) {
        auto file = files.openSource(path);
        if (!file) return file.error();
        const auto stamp = (*file)->stamp();
        if (!stamp) return stamp.error();
        if (stamp->links != 1) return RuntimeError(ErrorNumber::kPathFileAccess);
        return Source(files, path, std::move(*file), *stamp);
    }

    platform::SourceFile& file() { return *m_file; }
    const platform::FileIdentity& identity() const { return m_stamp.identity; }

    // Fails with 55 when the file was written to (or truncated, linked, or had its
    // attributes changed) since it was opened, another process has it open for writing,
    // or its name leads to another file by now.
    Status checkUnchanged() {
        const auto now = m_file->stamp();
        if (!now) return now.error();
        if (*now != m_stamp || m_files->identity(m_path) != m_stamp.identity) {
            return RuntimeError(ErrorNumber::kFileAlreadyOpen);
        }
        return m_file->checkNoWriter();
    }

private:
    Source(FileSystem& files, std::string path, std::unique_ptr<platform::SourceFile> file,
           const platform::FileStamp& stamp)
        : m_files(&files), m_path(std::move(path)), m_file(std::move(file)), m_stamp(stamp) {}

    FileSystem* m_files;
    std::string m_path;
    std::unique_ptr<platform::SourceFile> m_file;
    platform::FileStamp m_stamp;
};

JobResult failure(const RuntimeError& error, JobStep step, std::string newPath = {}) {
    return JobResult{JobStatus::kFailed, std::move(newPath), error, step};
}

// Puts the checked, synced new file in place of the source, once the source is known to
// be still the file that was read: under the target name, never replacing a file that
// appeared there meanwhile (58), then removes the source if its name still leads to it.
// In place, the source is replaced atomically and nothing is removed.
Result<JobResult> commit(const Replacement& job, Source& source, platform::NewFile& out) {
    KERFO_TRY(source.checkUnchanged());
    if (job.inPlace) {
        KERFO_TRY(out.commitOver(job.source, source.file()));
        return JobResult{JobStatus::kDone, job.source, std::nullopt, JobStep::kWriting};
    }
    KERFO_TRY(out.commit(job.target));
    // The new file stands complete: a failed removal is reported with it.
    if (const Status removed = out.removeBeside(job.source, source.identity()); !removed) {
        return failure(removed.error(), JobStep::kRemoving, job.target);
    }
    // A program that opened the source for writing in the moment before its removal
    // writes into a removed file: the user must hear of it.
    if (const Status alone = source.file().checkNoWriter(); !alone) {
        return failure(alone.error(), JobStep::kRemoved, job.target);
    }
    return JobResult{JobStatus::kDone, job.target, std::nullopt, JobStep::kWriting};
}

// Runs a job body, turning its failure, or what the design's routines raised in it, into
// the job's result at the step `step` had reached: the jobs never throw.
template <typename Body>
JobResult guarded(JobStep& step, Body&& body) {
    try {
        Result<JobResult> result = body();
        if (!result) return failure(result.error(), step);
        return std::move(*result);
    } catch (...) {
        return failure(platform::handledError(), step);
    }
}

std::string headerFor(const std::string& saltText, std::string_view password) {
    const std::string salt = cipher::Hash(saltText);
    std::string header(kMarker);
    header += salt;
    header += passwordDigest(salt, password);
    return header;
}

// Writes the encrypted form of `in` to the new file `out`, checking it as it goes; fails
// when a read or write fails or what reads back does not decrypt to what was read.
Status writeEncrypted(File& in, platform::NewFile& out, const std::string& header) {
    const cipher::KeyedState keyed = cipher::keyState(header);
    std::string headerLine = header;
    headerLine += texts::kCrLf;

    // XOR, stretch and lines of 70 with CR LF, a chunk at a time; the last line (an
    // empty one for an empty file) comes from finish(). The check keys its own decryption
    // from the header line.
    cipher::EncryptTransform transform(keyed);
    EncryptedCheck check(headerLine);
    auto readBack = out.openReadBack();
    if (!readBack) return readBack.error();
    CheckedOutput output(out, std::move(*readBack), check);
    KERFO_TRY(output.write(headerLine.data(), headerLine.size()));

    std::vector<char> plain(kPlainChunk);
    std::vector<char> lines(cipher::EncryptTransform::maxOutput(kPlainChunk));
    Checksum sum;
    CacheRelease release(in);
    for (;;) {
        const auto got = readFull(in, plain.data(), plain.size());
        if (!got) return got.error();
        const std::size_t n = *got;
        release.passed(n);
        sum.update(plain.data(), n);
        const std::size_t w = transform.update(std::string_view(plain.data(), n), lines.data());
        if (w > 0) KERFO_TRY(output.write(lines.data(), w));
        if (n < plain.size()) break;
    }
    KERFO_TRY(output.write(lines.data(), transform.finish(lines.data())));
    return output.finish(sum);
}

// Writes the decrypted body that `reader` has reached to the new file `out`, checking it
// as it goes; fails as writeEncrypted does, and raises what decodeBody raises. `step`
// tells whether a failure came from reading the source or from writing.
Status writeDecrypted(EncryptedReader& reader, const cipher::KeyedState& keyed,
                      platform::NewFile& out, JobStep& step) {
    auto readBack = out.openReadBack();
    if (!readBack) return readBack.error();
    PlainCheck check;
    CheckedOutput output(out, std::move(*readBack), check);
    Checksum plainSum;
    step = JobStep::kReading;
    KERFO_TRY(decodeBody(reader, keyed, [&](const char* data, std::size_t size) -> Status {
        plainSum.update(data, size);
        step = JobStep::kWriting;
        KERFO_TRY(output.write(data, size));
        step = JobStep::kReading;
        return Status();
    }));
    step = JobStep::kWriting;
    return output.finish(plainSum);
}

// Makes the written bytes durable, with the original's owner, group, mode and attributes
// (those of `source`).
Status finish(platform::NewFile& out, File& source) {
    const auto access = source.access();
    if (!access) return access.error();
    KERFO_TRY(out.applyAccess(*access));
    KERFO_TRY(out.sync());
    return out.close();
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
    JobStep step = JobStep::kOpening;
    return guarded(step, [&]() -> Result<JobResult> {
        FileSystem& files = fileSystemOf(context);
        const auto job = prepare(files, userFile, ".kfo");
        if (!job) return job.error();
        const std::string saltText = context.saltSource ? context.saltSource() : std::string();
        const std::string header = headerFor(saltText, password);

        auto source = Source::open(files, job->source);
        if (!source) return source.error();
        step = JobStep::kWriting;
        const std::string directory = platform::directoryOf(job->target);
        files.removeStaleTemps(directory);
        const auto out = files.createNew(directory);
        if (!out) return out.error();
        // Checked before the sync: the sync is the slow part and need not be paid for a
        // file that is already known to be wrong.
        KERFO_TRY(writeEncrypted(source->file(), **out, header));
        KERFO_TRY(finish(**out, source->file()));
        return commit(*job, *source, **out);
    });
}

JobResult Decrypt(const std::string& userFile, std::string_view password,
                  const JobContext& context) {
    JobStep step = JobStep::kOpening;
    return guarded(step, [&]() -> Result<JobResult> {
        FileSystem& files = fileSystemOf(context);
        const auto job = prepare(files, userFile, ".txt");
        if (!job) return job.error();

        auto source = Source::open(files, job->source);
        if (!source) return source.error();
        step = JobStep::kReading;
        EncryptedReader reader(source->file());
        const auto header = reader.headerLine();
        if (!header) return header.error();
        if (!passwordOpens(reader, *header, password)) {
            return JobResult{JobStatus::kWrongPassword, {}, std::nullopt, JobStep::kReading};
        }

        const cipher::KeyedState keyed = cipher::keyState(*header);
        step = JobStep::kWriting;
        const std::string directory = platform::directoryOf(job->target);
        files.removeStaleTemps(directory);
        const auto out = files.createNew(directory);
        if (!out) return out.error();
        KERFO_TRY(writeDecrypted(reader, keyed, **out, step));
        KERFO_TRY(finish(**out, source->file()));
        return commit(*job, *source, **out);
    });
}

}  // namespace kerfo::filejobs
