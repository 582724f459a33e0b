// Passwords in memory: kept no longer than a job needs them, and overwritten before their
// storage goes back to the allocator, so that freed memory (a core dump, swapped pages)
// does not hand them out later.
#pragma once

#include <string>
#include <string_view>

namespace kerfo::platform {

// Overwrites all of `text`'s storage, its whole capacity, with zeros in a way the
// compiler may not leave out, then empties it. Never throws.
void wipe(std::string& text) noexcept;

// A text that is wiped when it goes out of scope, however the scope is left.
class SecretString {
public:
    SecretString() = default;
    explicit SecretString(std::string_view text) { m_text.assign(text); }
    ~SecretString() { wipe(m_text); }
    SecretString(const SecretString&) = delete;
    SecretString& operator=(const SecretString&) = delete;

    // Appends without leaving a copy behind: room for `extra` more is made first, so a
    // reallocation never frees a buffer that still holds part of the secret.
    void append(std::string_view extra) {
        if (m_text.size() + extra.size() > m_text.capacity()) {
            std::string bigger;
            bigger.reserve(m_text.size() + extra.size());
            bigger.assign(m_text);
            wipe(m_text);
            m_text.swap(bigger);
        }
        m_text.append(extra);
    }
    const std::string& str() const { return m_text; }

private:
    std::string m_text;
};

}  // namespace kerfo::platform
