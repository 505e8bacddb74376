#pragma once
// Expected texts kept as files under tests/golden/. Run the tests with KIV_BLESS=1
// in the environment to write the current texts into the golden files instead.
#include <gtest/gtest.h>
#include <string>

namespace kivtest {

// Compares text with tests/golden/<relativePath>; on a difference the message
// names the file and the first differing line with a few lines around it.
::testing::AssertionResult matchesGolden(const std::string& relativePath, const std::string& text);

}  // namespace kivtest

#define EXPECT_GOLDEN(relativePath, text) EXPECT_TRUE(::kivtest::matchesGolden(relativePath, text))
