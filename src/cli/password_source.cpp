#include "cli/password_source.h"

#include <cerrno>

#include "cli/terminal.h"
#include "platform/error.h"
#include "platform/file_system.h"
#include "platform/secret.h"
#include "texts/texts.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kerfo::cli {
namespace {

namespace texts = kerfo::texts;

constexpr int kRefused = 1;
constexpr int kUsage = 2;

PasswordOutcome problem(std::string text, int exitCode = kUsage) {
    return PasswordOutcome{std::nullopt, std::move(text), exitCode};
}

// Keeps a descriptor open no longer than the read.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd < 0) return;
#ifdef _WIN32
        _close(m_fd);
#else
        ::close(m_fd);
#endif
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

std::string describeErrno(int err) {
    return std::string(platform::describe(platform::fromErrno(err)));
}

PasswordOutcome fromDescriptor(int fd, const std::string& name) {
    int error = 0;
    auto line = readLineFromDescriptor(fd, error);
    if (error != 0) {
        return problem(std::string(texts::kCliCannotReadPassword) + name + ": " + describeErrno(error));
    }
    if (!line) return problem(std::string(texts::kCliNoPasswordIn) + name + ".");
    return PasswordOutcome{std::move(line), {}, 0};
}

PasswordOutcome fromFile(const std::string& path) {
#ifndef _WIN32
    // As ssh does for its keys: a password others could read is no longer a secret, and
    // one they could write is not the user's.
    const auto info = platform::realFileSystem().stat(path);
    if (info && (info->permissions & 077u) != 0) {
        return problem(path + std::string(texts::kCliTooOpen));
    }
#endif
    const int fd = openForReading(path);
    if (fd < 0) {
        return problem(std::string(texts::kCliCannotReadPassword) + path + ": " + describeErrno(errno));
    }
    const Descriptor open(fd);
    return fromDescriptor(open.get(), path);
}

PasswordOutcome fromTerminal(bool confirm, bool allowEmpty) {
    if (!stdinIsTerminal()) return problem(std::string(texts::kCliNoTerminal));
    auto first = askHidden(texts::kEnterPassword);
    if (!first) return problem(std::string(texts::kCliNoPasswordLine));
    // An empty first entry that will be refused anyway is not asked for again.
    if (confirm && (allowEmpty || !first->empty())) {
        auto second = askHidden(texts::kEnterPasswordAgain);
        const bool same = second && *second == *first;
        if (second) platform::wipe(*second);
        if (!same) {
            platform::wipe(*first);
            return problem(std::string(texts::kPasswordsDifferLine), kRefused);
        }
    }
    return PasswordOutcome{std::move(first), {}, 0};
}

}  // namespace

PasswordOutcome obtainPassword(const PasswordSource& source, bool confirm) {
    PasswordOutcome outcome;
    if (source.file) {
        outcome = fromFile(*source.file);
    } else if (source.descriptor) {
        outcome = fromDescriptor(*source.descriptor,
                                 std::string(texts::kCliDescriptor) + std::to_string(*source.descriptor));
    } else if (source.fromStdin) {
        auto line = readLine();
        outcome = line ? PasswordOutcome{std::move(line), {}, 0}
                       : problem(std::string(texts::kCliNoPasswordLine));
    } else {
        outcome = fromTerminal(confirm, source.allowEmpty);
    }
    // An empty password is most often an unset variable in a script: a file encrypted
    // under it would open for anyone who presses Enter.
    if (outcome.password && outcome.password->empty() && !source.allowEmpty) {
        return problem(std::string(texts::kCliEmptyPassword));
    }
    return outcome;
}

}  // namespace kerfo::cli
