// kerfo-cli: the file jobs from a terminal or a script. The same gate as the window
// runs first; each file's outcome is a line on stdout (the new path) or stderr, and the
// exit code is the worst of them.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/password_source.h"
#include "cli/progress.h"
#include "cli/terminal.h"
#include "filejobs/gate.h"
#include "filejobs/jobs.h"
#include "filejobs/messages.h"
#include "filejobs/progress.h"
#include "filejobs/show.h"
#include "platform/file_system.h"
#include "platform/secret.h"
#include "texts/texts.h"

namespace {

using kerfo::filejobs::JobStatus;
using kerfo::filejobs::Mode;
using kerfo::filejobs::ShowStatus;
using kerfo::platform::ErrorNumber;
using kerfo::platform::RuntimeError;
using kerfo::platform::Status;
namespace texts = kerfo::texts;

enum Exit : int { kDone = 0, kRefused = 1, kUsage = 2, kWrongPassword = 3 };

// The exit code of several files: a refusal or failure outweighs a wrong password, which
// outweighs success.
int worse(int a, int b) {
    const auto rank = [](int code) { return code == kDone ? 0 : code == kWrongPassword ? 1 : 2; };
    return rank(b) > rank(a) ? b : a;
}

// Box texts break lines with CR LF; a terminal wants LF.
std::string forTerminal(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out.push_back(text[i]);
    }
    return out;
}

int fail(std::string_view message, int code) {
    std::cout.flush();  // keeps the lines of several files in their order on a terminal
    std::cerr << texts::kCliName << ": " << forTerminal(message) << '\n';
    return code;
}

struct Options {
    std::string command;
    std::vector<std::string> files;
    kerfo::cli::PasswordSource password;
    bool quiet = false;
};

// One file's job, with what is known before the password is asked.
struct Planned {
    std::string file;
    std::optional<std::string> refusal;  // printed instead of running the job
};

// The gate's verdict for `file` under `command`, as the line to print when it is refused.
std::optional<std::string> refusalFor(const std::string& command, const std::string& file) {
    const auto gate = kerfo::filejobs::checkAll(file);
    if (command == "show") {
        // Showing writes nothing, so a read-only or hidden note is fine; only a file that
        // is missing, empty or not a regular file is refused here, and a plain one.
        const auto info = kerfo::platform::realFileSystem().stat(file);
        if (!info || info->size == 0 || info->type != kerfo::platform::FileType::kRegular) {
            return gate.refusal ? std::optional(gate.refusal->text) : std::nullopt;
        }
        if (!gate.refusal && gate.mode == Mode::kEncrypt) {
            return file + std::string(texts::kCliNotEncryptedShow);
        }
        return std::nullopt;
    }
    if (gate.refusal) return gate.refusal->text;
    if (command == "encrypt" && gate.mode == Mode::kDecrypt) {
        return file + std::string(texts::kCliAlreadyEncrypted);
    }
    if (command == "decrypt" && gate.mode == Mode::kEncrypt) {
        return file + std::string(texts::kCliNotEncrypted);
    }
    return std::nullopt;
}

int check(const Options& options) {
    int worst = kDone;
    for (const auto& file : options.files) {
        const auto gate = kerfo::filejobs::checkAll(file);
        if (gate.refusal) {
            worst = worse(worst, fail(gate.refusal->text, kRefused));
            continue;
        }
        if (options.files.size() > 1) std::cout << file << ": ";
        std::cout << (gate.mode == Mode::kEncrypt ? texts::kCliModeEncrypt : texts::kCliModeDecrypt)
                  << '\n';
    }
    return worst;
}

bool progressWanted(const Options& options) {
    return !options.quiet && kerfo::cli::stderrIsTerminal();
}

std::uint64_t sizeOf(const std::string& file) {
    const auto info = kerfo::platform::realFileSystem().stat(file);
    return info ? info->size : 0;
}

// Runs one encryption or decryption under a progress bar; returns its exit code.
int replaceOne(const Options& options, const std::string& file, const std::string& password,
               const std::string& prefix) {
    const bool encrypt = options.command == "encrypt";
    kerfo::cli::ProgressBar bar(sizeOf(file), kerfo::cli::progressDelay(), progressWanted(options));
    kerfo::filejobs::CountingFileSystem counted(kerfo::platform::realFileSystem(), bar.counter());
    auto context = kerfo::filejobs::defaultJobContext();
    context.files = &counted;
    const auto result = encrypt ? kerfo::filejobs::Encrypt(file, password, context)
                                : kerfo::filejobs::Decrypt(file, password, context);
    bar.stop();
    if (result.status == JobStatus::kDone) {
        std::cout << result.newPath << std::endl;
        return kDone;
    }
    // Worded as the window words a file of several.
    return fail(prefix + kerfo::filejobs::jobEndMessage(encrypt, result, file).text,
                result.status == JobStatus::kWrongPassword ? kWrongPassword : kRefused);
}

// Writes one file's plain text to standard output; returns its exit code.
int showOne(const Options& options, const std::string& file, const std::string& password,
            const std::string& prefix) {
    kerfo::cli::ProgressBar bar(sizeOf(file), kerfo::cli::progressDelay(), progressWanted(options));
    kerfo::filejobs::CountingFileSystem counted(kerfo::platform::realFileSystem(), bar.counter());
    kerfo::filejobs::ShowHooks hooks;
    hooks.files = &counted;
    // The bar covers the check; it is gone before the text starts.
    hooks.beforeOutput = [&] { bar.stop(); };
    hooks.sink = [](const char* data, std::size_t size) {
        if (std::fwrite(data, 1, size, stdout) != size)
            return Status(RuntimeError::fromErrno(errno));
        return Status();
    };
    const auto result = kerfo::filejobs::Show(file, password, hooks);
    bar.stop();
    if (std::fflush(stdout) != 0 && result.status == ShowStatus::kDone) {
        return fail(prefix + std::string(kerfo::platform::describe(kerfo::platform::fromErrno(errno))),
                    kRefused);
    }
    switch (result.status) {
        case ShowStatus::kDone:
            return kDone;
        case ShowStatus::kWrongPassword:
            return fail(prefix + kerfo::filejobs::wrongPasswordMessage().text, kWrongPassword);
        case ShowStatus::kNotEncrypted:
            return fail(file + std::string(texts::kCliNotEncryptedShow), kRefused);
        case ShowStatus::kFailed:
            break;
    }
    const auto error = result.error.value_or(RuntimeError(ErrorNumber::kDeviceIo));
    switch (error.number()) {
        case ErrorNumber::kInvalidCall:
        case ErrorNumber::kOverflow:
        case ErrorNumber::kInputPastEnd:
            // The body itself is at fault: the report that decryption gives.
            return fail(prefix + kerfo::filejobs::decryptErrorReport(error).text, kRefused);
        default:
            return fail(file + ": " + error.description(), kRefused);
    }
}

int runJobs(const Options& options) {
    // Refusals are known before the password, which is asked only if some file can use it.
    std::vector<Planned> plan;
    bool anyToDo = false;
    for (const auto& file : options.files) {
        plan.push_back(Planned{file, refusalFor(options.command, file)});
        anyToDo = anyToDo || !plan.back().refusal;
    }
    int worst = kDone;
    if (!anyToDo) {
        for (const auto& job : plan) worst = worse(worst, fail(*job.refusal, kRefused));
        return worst;
    }

    auto obtained = kerfo::cli::obtainPassword(options.password, options.command == "encrypt");
    if (!obtained.password) return fail(obtained.problem, obtained.exitCode);
    // Held only for the jobs, and wiped however they end.
    const kerfo::platform::SecretString secret(*obtained.password);
    kerfo::platform::wipe(*obtained.password);

    if (options.command == "show") kerfo::cli::binaryStdout();
    for (const auto& job : plan) {
        if (job.refusal) {
            worst = worse(worst, fail(*job.refusal, kRefused));
            continue;
        }
        // With several files, each message says which file it is about.
        const std::string prefix =
            options.files.size() > 1 ? kerfo::filejobs::aboutFile(job.file, "") : std::string();
        const int code = options.command == "show" ? showOne(options, job.file, secret.str(), prefix)
                                                   : replaceOne(options, job.file, secret.str(), prefix);
        worst = worse(worst, code);
    }
    return worst;
}

}  // namespace

static int runMain(int argc, char** argv) {
    CLI::App app{std::string(texts::kCliDescription), std::string(texts::kCliName)};
    app.set_version_flag("--version", std::string(texts::kCliName) + " " KERFO_VERSION);
    app.require_subcommand(1);

    Options options;
    int descriptor = -1;
    std::string passwordFile;
    auto* stdinFlag = app.add_flag("--password-stdin", options.password.fromStdin,
                                   std::string(texts::kCliPasswordStdinHelp));
    auto* fdOption = app.add_option("--password-fd", descriptor, std::string(texts::kCliPasswordFdHelp))
                         ->option_text("N")
                         ->check(CLI::NonNegativeNumber);
    auto* fileOption = app.add_option("--password-file", passwordFile,
                                      std::string(texts::kCliPasswordFileHelp))
                           ->option_text("FILE");
    stdinFlag->excludes(fdOption)->excludes(fileOption);
    fdOption->excludes(fileOption);
    app.add_flag("--allow-empty-password", options.password.allowEmpty,
                 std::string(texts::kCliAllowEmptyHelp));
    app.add_flag("-q,--quiet", options.quiet, std::string(texts::kCliQuietHelp));

    const std::pair<const char*, std::string_view> commands[] = {
        {"encrypt", texts::kCliEncryptHelp},
        {"decrypt", texts::kCliDecryptHelp},
        {"show", texts::kCliShowHelp},
        {"check", texts::kCliCheckHelp},
    };
    for (const auto& [name, help] : commands) {
        auto* sub = app.add_subcommand(name, std::string(help));
        sub->add_option("FILE", options.files, std::string(texts::kCliFilesHelp))->required();
        sub->fallthrough();
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kDone : kUsage;
    }
    if (fdOption->count() > 0) options.password.descriptor = descriptor;
    if (fileOption->count() > 0) options.password.file = passwordFile;
    options.command = app.get_subcommands().front()->get_name();
    return options.command == "check" ? check(options) : runJobs(options);
}

int main(int argc, char** argv) {
    const kerfo::cli::ConsoleText console;
    // The jobs never throw; what is left (out of memory while parsing the arguments or
    // printing) ends the program with a line and an exit code rather than an abort.
    try {
        std::vector<std::string> arguments = kerfo::cli::utf8Arguments(argc, argv);
        std::vector<char*> pointers;
        pointers.reserve(arguments.size() + 1);
        for (auto& argument : arguments) pointers.push_back(argument.data());
        pointers.push_back(nullptr);
        return runMain(static_cast<int>(arguments.size()), pointers.data());
    } catch (const std::exception& e) {
        return fail(e.what(), kRefused);
    }
}
