#include "cipher/digest.h"

#include "cipher/cipher.h"

namespace kerfo::cipher {

std::string Hash(std::string_view sA) {
    Cipher c;
    std::string k(sA);
    k += kDigestPepper;
    c.KeyString(k);
    c.Text(std::move(k));
    c.DoXor();
    c.Stretch();
    const std::string t = c.takeText();
    c.KeyString(t);
    c.Text(std::string(kDigestPepper));
    c.DoXor();
    c.Stretch();
    return c.takeText();
}

}  // namespace kerfo::cipher
