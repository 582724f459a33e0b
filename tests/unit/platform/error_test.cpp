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

// A failure travels unchanged: out of KERFO_TRY into the enclosing function's Result, and
// out of value() as the error raised, for a caller that has no result of its own.
TEST(ErrorTest, ResultsHandOnTheFailureTheyCarry) {
    const auto halve = [](const Result<int>& number) -> Result<int> {
        KERFO_TRY(number);
        if (*number % 2 != 0) return RuntimeError(ErrorNumber::kInvalidCall);
        return *number / 2;
    };
    EXPECT_EQ(halve(8).value(), 4);
    EXPECT_EQ(halve(7).error().code(), 5);
    EXPECT_EQ(halve(RuntimeError(ErrorNumber::kDiskFull)).error().code(), 61);
    try {
        (void)halve(7).value();
        ADD_FAILURE() << "a failed result gave a value";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), ErrorNumber::kInvalidCall);
    }
    EXPECT_TRUE(Status());
    EXPECT_EQ(Status(RuntimeError(ErrorNumber::kOverflow)).error().code(), 6);
}

}  // namespace
}  // namespace kerfo::platform
