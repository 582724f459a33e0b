#include "platform/secret.h"

#include <cstring>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace kerfo::platform {

void wipe(std::string& text) noexcept {
    // The bytes past the size may still hold an earlier, longer content.
    text.resize(text.capacity());
    char* data = text.data();
    const std::size_t size = text.size();
#if defined(_WIN32)
    SecureZeroMemory(data, size);
#elif defined(__GLIBC__)
    explicit_bzero(data, size);
#else
    volatile char* bytes = data;
    for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
#endif
#if defined(__GNUC__)
    // Tells the compiler the zeros are read, so it cannot drop the stores.
    __asm__ __volatile__("" : : "r"(data) : "memory");
#endif
    text.clear();
}

}  // namespace kerfo::platform
