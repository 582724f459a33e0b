// Start-up before the main window loads: the single-instance lock and the command line.
#pragma once

#include <QLockFile>
#include <QString>

#include <string>

namespace kerfo::ui {

// The target path: every argument after the program's name, joined by single spaces,
// byte for byte: no quotes removed, nothing split or trimmed.
std::string commandTail(int argc, const char* const* argv);

// One running Kerfo per user session. The lock is a file in the user's runtime folder
// that records its owner's process; a lock whose owner has died (a crash, a kill) counts
// as free, so no dead instance can keep Kerfo from starting.
class InstanceLock {
public:
    explicit InstanceLock(const QString& lockPath = defaultPath());

    // The lock file in the user's runtime folder ($XDG_RUNTIME_DIR on Linux).
    static QString defaultPath();

    // Takes the lock. False only when another living instance holds it; a folder where no
    // lock can be made does not stop the program. The lock is released on destruction.
    bool acquire();

private:
    QLockFile m_lock;
};

}  // namespace kerfo::ui
