#pragma once
// Runs the Office package checker (tests/checker/ooxml-check) on packages.
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kivtest {

// Passes when the checker finds no problem in any of the files; otherwise fails
// with the checker's output. render also converts them with LibreOffice (the
// output, given back in *output, then tells the page counts).
::testing::AssertionResult passesOoxmlCheck(const std::vector<std::string>& files, bool render = false,
                                            std::string* output = nullptr);

}  // namespace kivtest

#define EXPECT_OOXML_VALID(...) EXPECT_TRUE(::kivtest::passesOoxmlCheck({__VA_ARGS__}))
