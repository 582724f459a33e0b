// Helpers shared by the job tests: the job context with a fixed salt; the shared support
// (files, vectors and the reference decoder) comes with it.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "fakes/scratch_dir.h"
#include "filejobs/jobs.h"
#include "support/decode.h"
#include "support/files.h"
#include "support/vectors.h"

namespace kerfo::test {

inline filejobs::JobContext fixedSalt(const std::string& text = "1/2/200312345.67") {
    filejobs::JobContext context;
    context.saltSource = [text] { return text; };
    return context;
}

}  // namespace kerfo::test
