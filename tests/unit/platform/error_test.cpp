#include "platform/error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace kerfo::platform {
namespace {

TEST(ErrorTest, NumbersAndDescriptionsAreTheRuntimes) {
    const RuntimeError overflow(ErrorNumber::kOverflow);
    EXPECT_EQ(overflow.code(), 6);
    EXPECT_EQ(overflow.description(), "Overflow");
    EXPECT_EQ(RuntimeError(ErrorNumber::kInvalidCall).description(),
              "Invalid procedure call or argument");
    EXPECT_EQ(describe(ErrorNumber::kPathFileAccess), "Path/File access error");
}

TEST(ErrorTest, ErrnoMapsOntoTheClosestRuntimeError) {
    EXPECT_EQ(fromErrno(ENOSPC), ErrorNumber::kDiskFull);
    EXPECT_EQ(fromErrno(EACCES), ErrorNumber::kPermissionDenied);
    EXPECT_EQ(fromErrno(EROFS), ErrorNumber::kPermissionDenied);
    EXPECT_EQ(fromErrno(ENOENT), ErrorNumber::kFileNotFound);
    EXPECT_EQ(fromErrno(ENOTDIR), ErrorNumber::kPathNotFound);
    EXPECT_EQ(fromErrno(EIO), ErrorNumber::kDeviceIo);
    EXPECT_EQ(RuntimeError::fromErrno(ENOSPC).description(), "Disk full");
}

}  // namespace
}  // namespace kerfo::platform
