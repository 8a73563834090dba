#include "ui/os_version_code.h"

#include <gtest/gtest.h>

namespace mossvane {
namespace {

struct VersionCase {
    std::uint32_t major;
    std::uint32_t minor;
    std::int32_t code;
};

void PrintTo(const VersionCase& testCase, std::ostream* out) {
    *out << testCase.major << "." << testCase.minor;
}

class OsVersionCodeTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(OsVersionCodeTest, FollowsTheVersionTable) {
    EXPECT_EQ(OsVersionCode(GetParam().major, GetParam().minor), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Versions, OsVersionCodeTest,
                         ::testing::Values(VersionCase{3, 51, 1}, VersionCase{4, 0, 2},
                                           VersionCase{5, 0, 3}, VersionCase{5, 1, 4},
                                           VersionCase{5, 2, 5}, VersionCase{5, 3, 4},
                                           VersionCase{6, 0, 6}, VersionCase{6, 1, 7},
                                           VersionCase{6, 2, 8}, VersionCase{6, 3, 6},
                                           VersionCase{10, 0, 4}, VersionCase{2, 0, 4},
                                           VersionCase{0, 0, 4}));

// Only systems with a Start-menu pinned list get a code of 6 or more; the
// newest systems fall back below it and skip the unpinning.
TEST(OsVersionCodeGateTest, NewestSystemsSkipTheUnpinning) {
    EXPECT_LT(OsVersionCode(10, 0), kOsVersionCodeWithPinnedList);
    EXPECT_GE(OsVersionCode(6, 1), kOsVersionCodeWithPinnedList);
}

}  // namespace
}  // namespace mossvane
