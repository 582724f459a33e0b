// The POSIX file layer with some of its system's features turned off, so that the code
// for file systems without them (FAT, exFAT, most FUSE and network file systems) runs
// and is tested on any machine.
#pragma once

#include <memory>

#include "platform/file_system.h"

namespace kerfo::platform {

// What the file layer may use where the file system offers it; each false makes it act
// as on a file system without that feature.
struct PosixFeatures {
    bool namelessFiles = true;    // O_TMPFILE: a new file without a name until committed
    bool noReplaceRename = true;  // renameat2(RENAME_NOREPLACE) and RENAME_EXCHANGE
    bool hardLinks = true;        // linkat: names a file without replacing anything
    bool leases = true;           // F_SETLEASE: tells that another process opens for writing
};

// A file layer on the real file system restricted to `features`. realFileSystem() is one
// with every feature.
std::unique_ptr<FileSystem> posixFileSystem(const PosixFeatures& features);

}  // namespace kerfo::platform
