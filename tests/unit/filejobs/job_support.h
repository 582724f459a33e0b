// Helpers shared by the job tests: a scratch directory with the job context, and an
// independent whole-file reading of the encrypted format to check the streamed output.
#pragma once

#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "cipher/cipher.h"
#include "filejobs/jobs.h"
#include "fakes/scratch_dir.h"
#include "support/vectors.h"

namespace kerfo::test {

inline filejobs::JobContext fixedSalt(const std::string& text = "1/2/200312345.67") {
    filejobs::JobContext context;
    context.saltSource = [text] { return text; };
    return context;
}

// Reads an encrypted file the way the format describes it, all at once: line 1 is the
// header, the other lines joined make the body; key with the header, shrink, XOR.
inline std::string decodeWhole(const std::string& file) {
    const auto crlf = file.find("\r\n");
    const std::string header = file.substr(0, crlf);
    std::string body;
    for (std::size_t pos = crlf + 2; pos < file.size();) {
        const auto end = file.find("\r\n", pos);
        body += file.substr(pos, end - pos);
        pos = end + 2;
    }
    cipher::Cipher c;
    c.KeyString(header);
    c.Text(body);
    c.Shrink();
    c.DoXor();
    return c.Text();
}

}  // namespace kerfo::test
