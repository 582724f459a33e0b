// The eight-character digest: salts and password checks of the encrypted file.
#pragma once

#include <string>
#include <string_view>

namespace kerfo::cipher {

// Marker text mixed into every digest; also the six characters that become its eight.
inline constexpr std::string_view kDigestPepper = "480317";

// The digest of `sA`: eight characters with codes 59..122, the same for the same input.
// Reseeds and draws from the shared generator. Throws platform::RuntimeError
// (6, "Overflow") when sA is long enough (about 24570 characters) that the second
// keying overflows.
std::string Hash(std::string_view sA);

}  // namespace kerfo::cipher
