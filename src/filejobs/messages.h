// The boxes the file jobs and the gate describe, with their exact texts, icons and
// titles. The window shows them, kerfo-cli prints their text.
#pragma once

#include <string>
#include <string_view>

#include "platform/error.h"
#include "texts/message.h"

namespace kerfo::filejobs {

// A refused target file: its path, then `reason` ("... is empty:" and the like), a line
// break and `advice`; a warning with the application's title.
texts::Message fileWarning(const std::string& path, std::string_view reason, std::string_view advice);

struct JobResult;

// The boxes for a job's outcome: the wrong-password warning, decryption's error report
// ("An error #..."), and the unhandled-error box that ends the program after a failed
// encryption ("Run-time error '...").
texts::Message wrongPasswordMessage();
// The report for an encrypted file that could not be read or decoded: its last line names
// a tampered or corrupt file as the probable cause.
texts::Message decryptErrorReport(const platform::RuntimeError& error);
texts::Message encryptFailureMessage(const platform::RuntimeError& error);
// The same for the failed job `result` on `userFile`: the cause line names the file only
// where it can be at fault, and where the new file was named the text says which file
// holds what. `result` must have failed.
texts::Message decryptErrorReport(const JobResult& result, const std::string& userFile);
texts::Message encryptFailureMessage(const JobResult& result, const std::string& userFile);
// The box for an encryption (or decryption) of `userFile` that did not end done: the wrong-
// password warning or the failure report of its kind. The window and kerfo-cli word a
// file of several with it.
texts::Message jobEndMessage(bool encrypting, const JobResult& result, const std::string& userFile);
// A line about one file of several: "path: text".
std::string aboutFile(const std::string& path, std::string_view text);

}  // namespace kerfo::filejobs
