// The keyed XOR cipher: a key reseeds the process-wide generator, and DoXor XORs the
// working text with the stream that follows. Stretch and Shrink turn the working text
// into printable characters and back.
//
// The generator is not part of the object: keying any Cipher, or any other draw from the
// generator, changes what every other Cipher's DoXor produces next. Callers key, set the
// text, transform, and read the text back without other generator use in between. Why the
// shared generator stays, and what the streaming code uses instead: keystream.h.
#pragma once

#include <string>
#include <string_view>

#include "cipher/keystream.h"

namespace kerfo::cipher {

class Cipher {
public:
    // Stores the key and reseeds the generator from it; the working text is untouched.
    // Throws platform::RuntimeError (6, "Overflow") for a key longer than kMaxKeyLength:
    // before any reseeding for 32768 characters or more, after applying every character
    // for exactly 32767.
    void KeyString(std::string_view key);

    // Replaces the working text with a copy of `text`; the generator is untouched. Copying
    // into the existing text reuses its storage, so a caller that sets texts of similar
    // size over and over does not allocate (and fault in) fresh memory each time.
    void Text(std::string_view text) { sText.assign(text); }
    void Text(const char* text) { sText.assign(text); }
    // Takes over `text` without copying it.
    void Text(std::string&& text) { sText = std::move(text); }
    // The working text.
    const std::string& Text() const { return sText; }
    // Hands the working text over without copying it, leaving it empty.
    std::string takeText() { return std::move(sText); }

    // XORs every character with the next keystream byte, in place, first to last.
    void DoXor();
    // Replaces the working text with its stretched form (n + (n + 2) / 3 characters),
    // within the text's own storage.
    void Stretch();
    // Replaces the working text with its shrunk form. Throws platform::RuntimeError
    // (5, "Invalid procedure call or argument") for the empty text or a data character
    // below code 59, leaving the working text as it was. Works within the text's own
    // storage unless some character lies below code 59.
    void Shrink();

private:
    void ApplyKey();

    std::string sKeyString;
    std::string sText;
};

}  // namespace kerfo::cipher
