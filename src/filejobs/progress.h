// A job's progress through its file, for whatever shows it (kerfo-cli's bar, the window's):
// the bytes read from the files the job opens for reading, counted as they are read.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/file_system.h"

namespace kerfo::filejobs {

// A job shows its progress only once it has run this long: shorter ones would only flash.
inline constexpr std::chrono::milliseconds kProgressDelay{500};

// Counts into `counter` every byte read from files the job opens for reading (its new file
// is read back through its own handle, not counted): that is the job's progress through its
// source. `afterRead`, when given, runs on the job's thread after every counted read.
// Everything else is handed to `inner` unchanged.
class CountingFileSystem final : public platform::ForwardingFileSystem {
public:
    CountingFileSystem(platform::FileSystem& inner, std::atomic<std::uint64_t>& counter,
                       std::function<void()> afterRead = {})
        : ForwardingFileSystem(inner), m_counter(counter), m_afterRead(std::move(afterRead)) {}

    platform::Result<std::unique_ptr<platform::File>> openRead(const std::string& path) override;
    platform::Result<std::unique_ptr<platform::SourceFile>> openSource(const std::string& path) override;

private:
    std::atomic<std::uint64_t>& m_counter;
    std::function<void()> m_afterRead;
};

}  // namespace kerfo::filejobs
