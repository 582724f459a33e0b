#include "filejobs/progress.h"

#include <utility>

namespace kerfo::filejobs {

namespace {

// A file whose reads are counted.
class CountingFile final : public platform::ForwardingFile {
public:
    CountingFile(std::unique_ptr<platform::File> inner, std::atomic<std::uint64_t>& counter,
                 const std::function<void()>& afterRead)
        : ForwardingFile(std::move(inner)), m_counter(counter), m_afterRead(afterRead) {}

    platform::Result<std::size_t> read(char* buffer, std::size_t size) override {
        auto n = ForwardingFile::read(buffer, size);
        if (n) {
            m_counter.fetch_add(*n, std::memory_order_relaxed);
            if (m_afterRead) m_afterRead();
        }
        return n;
    }

private:
    std::atomic<std::uint64_t>& m_counter;
    const std::function<void()>& m_afterRead;
};

}  // namespace

platform::Result<std::unique_ptr<platform::File>> CountingFileSystem::counted(
    platform::Result<std::unique_ptr<platform::File>> opened) {
    if (!opened) return opened;
    return std::make_unique<CountingFile>(std::move(*opened), m_counter, m_afterRead);
}

platform::Result<std::unique_ptr<platform::File>> CountingFileSystem::openRead(
    const std::string& path) {
    return counted(ForwardingFileSystem::openRead(path));
}

platform::Result<std::unique_ptr<platform::File>> CountingFileSystem::openSource(
    const std::string& path) {
    return counted(ForwardingFileSystem::openSource(path));
}

}  // namespace kerfo::filejobs
