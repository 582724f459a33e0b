// kerfo-cli: the file jobs from a terminal or a script. The same gate as the window
// runs first; the outcome is a line on stdout (the new path) or stderr, and an exit code.
#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

#include "cli/terminal.h"
#include "filejobs/gate.h"
#include "filejobs/jobs.h"
#include "platform/secret.h"
#include "platform/texts.h"

namespace {

using kerfo::filejobs::JobStatus;
using kerfo::filejobs::Mode;
namespace texts = kerfo::texts;

enum Exit : int { kDone = 0, kRefused = 1, kUsage = 2, kWrongPassword = 3 };

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
    std::cerr << texts::kCliName << ": " << forTerminal(message) << '\n';
    return code;
}

// The password, from standard input or asked twice (once for decryption) on the terminal.
// Sets `exitCode` and returns nothing when there is none to be had.
std::optional<std::string> password(bool fromStdin, bool confirm, int& exitCode) {
    if (fromStdin) {
        auto line = kerfo::cli::readLine();
        if (!line) exitCode = fail(texts::kCliNoPasswordLine, kUsage);
        return line;
    }
    if (!kerfo::cli::stdinIsTerminal()) {
        exitCode = fail(texts::kCliNoTerminal, kUsage);
        return std::nullopt;
    }
    auto first = kerfo::cli::askHidden(texts::kEnterPassword);
    if (!first) {
        exitCode = fail(texts::kCliNoPasswordLine, kUsage);
        return std::nullopt;
    }
    if (confirm) {
        auto second = kerfo::cli::askHidden(texts::kEnterPasswordAgain);
        const bool same = second && *second == *first;
        if (second) kerfo::platform::wipe(*second);
        if (!same) {
            kerfo::platform::wipe(*first);
            exitCode = fail(texts::kPasswordsDifferLine, kRefused);
            return std::nullopt;
        }
    }
    return first;
}

int run(const std::string& command, const std::string& file, bool passwordFromStdin) {
    const auto gate = kerfo::filejobs::checkAll(file);
    if (gate.refusal) return fail(gate.refusal->text, kRefused);
    if (command == "check") {
        std::cout << (gate.mode == Mode::kEncrypt ? texts::kCliModeEncrypt : texts::kCliModeDecrypt)
                  << '\n';
        return kDone;
    }

    const bool encrypt = command == "encrypt";
    if (encrypt && gate.mode == Mode::kDecrypt) {
        return fail(file + std::string(texts::kCliAlreadyEncrypted), kRefused);
    }
    if (!encrypt && gate.mode == Mode::kEncrypt) {
        return fail(file + std::string(texts::kCliNotEncrypted), kRefused);
    }

    int exitCode = kDone;
    auto typed = password(passwordFromStdin, encrypt, exitCode);
    if (!typed) return exitCode;
    // Held only for the job, and wiped however the job ends.
    const kerfo::platform::SecretString secret(*typed);
    kerfo::platform::wipe(*typed);

    const auto result = encrypt ? kerfo::filejobs::Encrypt(file, secret.str())
                                : kerfo::filejobs::Decrypt(file, secret.str());
    switch (result.status) {
        case JobStatus::kDone:
            std::cout << result.newPath << '\n';
            return kDone;
        case JobStatus::kWrongPassword:
            return fail(kerfo::filejobs::wrongPasswordMessage().text, kWrongPassword);
        case JobStatus::kFailed:
            break;
    }
    const auto error = result.error.value_or(
        kerfo::platform::RuntimeError(kerfo::platform::ErrorNumber::kDeviceIo));
    return fail(encrypt ? kerfo::filejobs::encryptFailureMessage(error).text
                        : kerfo::filejobs::decryptErrorReport(error).text,
                kRefused);
}

}  // namespace

static int runMain(int argc, char** argv) {
    CLI::App app{std::string(texts::kCliDescription), std::string(texts::kCliName)};
    app.set_version_flag("--version", std::string(texts::kCliName) + " " KERFO_VERSION);
    app.require_subcommand(1);

    bool passwordFromStdin = false;
    std::string file;
    app.add_flag("--password-stdin", passwordFromStdin, std::string(texts::kCliPasswordStdinHelp));
    const std::pair<const char*, std::string_view> commands[] = {
        {"encrypt", texts::kCliEncryptHelp},
        {"decrypt", texts::kCliDecryptHelp},
        {"check", texts::kCliCheckHelp},
    };
    for (const auto& [name, help] : commands) {
        auto* sub = app.add_subcommand(name, std::string(help));
        sub->add_option("FILE", file, std::string(texts::kCliFileHelp))->required();
        sub->fallthrough();
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kDone : kUsage;
    }
    return run(app.get_subcommands().front()->get_name(), file, passwordFromStdin);
}

int main(int argc, char** argv) {
    // The jobs never throw; what is left (out of memory while parsing the arguments or
    // printing) ends the program with a line and an exit code rather than an abort.
    try {
        return runMain(argc, argv);
    } catch (const std::exception& e) {
        return fail(e.what(), kRefused);
    }
}
