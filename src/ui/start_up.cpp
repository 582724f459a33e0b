#include "ui/start_up.h"

#include <QDir>
#include <QStandardPaths>

namespace kerfo::ui {

std::string commandTail(int argc, const char* const* argv) {
    std::string tail;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            tail += ' ';
        }
        tail += argv[i];
    }
    return tail;
}

InstanceLock::InstanceLock(const QString& lockPath) : m_lock(lockPath) {
    // Only a dead owner makes the lock stale, never its age: a window may stay open for days.
    m_lock.setStaleLockTime(0);
}

QString InstanceLock::defaultPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    return folder + QStringLiteral("/kerfo.lock");
}

bool InstanceLock::acquire() {
    if (m_lock.tryLock(0)) {
        return true;
    }
    return m_lock.error() != QLockFile::LockFailedError;
}

}  // namespace kerfo::ui
