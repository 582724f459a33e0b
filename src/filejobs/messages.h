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

// The boxes for a job's outcome: the wrong-password warning, decryption's error report
// ("An error #..."), and the unhandled-error box that ends the program after a failed
// encryption ("Run-time error '...").
texts::Message wrongPasswordMessage();
texts::Message decryptErrorReport(const platform::RuntimeError& error);
texts::Message encryptFailureMessage(const platform::RuntimeError& error);

}  // namespace kerfo::filejobs
