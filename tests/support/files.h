// File and byte helpers shared by every test layer; plain C++ so that the Windows lane
// builds them too.
#pragma once

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

namespace kerfo::test {

// The whole of `path`, byte for byte. Throws std::runtime_error when it cannot be opened,
// so that a missing file fails the test instead of reading as empty.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// `n` pseudo-random bytes, the same for the same `seed` on every platform and run.
inline std::string randomBytes(std::size_t n, unsigned seed = 1) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
}

#ifndef _WIN32
// The whole of `path`, or empty when it cannot be opened or is not a regular file. Never
// blocks (a FIFO put where a file was expected reads as empty) and reads files under /proc,
// which report size 0 and still have content.
inline std::string readAll(const std::string& path) {
    std::string bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        bytes.resize(static_cast<std::size_t>(st.st_size) + 4096);
        std::size_t got = 0;
        for (;;) {
            if (got == bytes.size()) bytes.resize(bytes.size() * 2);
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
    }
    ::close(fd);
    return bytes;
}
#endif

}  // namespace kerfo::test
