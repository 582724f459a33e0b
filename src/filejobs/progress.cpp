#include "filejobs/progress.h"

#include <utility>

namespace kerfo::filejobs {

namespace {

// A file whose reads are counted; `Forwarding` passes everything else on.
template <typename Forwarding, typename Interface>
class Counting final : public Forwarding {
public:
    Counting(std::unique_ptr<Interface> inner, std::atomic<std::uint64_t>& counter,
             const std::function<void()>& afterRead)
        : Forwarding(std::move(inner)), m_counter(counter), m_afterRead(afterRead) {}

    platform::Result<std::size_t> read(char* buffer, std::size_t size) override {
        auto n = Forwarding::read(buffer, size);
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

// `opened`, its reads counted into `counter`.
template <typename Forwarding, typename Interface>
platform::Result<std::unique_ptr<Interface>> counted(platform::Result<std::unique_ptr<Interface>> opened,
                                                     std::atomic<std::uint64_t>& counter,
                                                     const std::function<void()>& afterRead) {
    if (!opened) return opened;
    return std::unique_ptr<Interface>(
        std::make_unique<Counting<Forwarding, Interface>>(std::move(*opened), counter, afterRead));
}

}  // namespace

platform::Result<std::unique_ptr<platform::File>> CountingFileSystem::openRead(
    const std::string& path) {
    return counted<platform::ForwardingFile>(ForwardingFileSystem::openRead(path), m_counter, m_afterRead);
}

platform::Result<std::unique_ptr<platform::SourceFile>> CountingFileSystem::openSource(
    const std::string& path) {
    return counted<platform::ForwardingSourceFile>(ForwardingFileSystem::openSource(path), m_counter,
                                                   m_afterRead);
}

}  // namespace kerfo::filejobs
