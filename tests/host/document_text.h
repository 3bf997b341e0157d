// What the baselinedoc tests start from: the worked example as one text, and
// a text with one piece of it replaced (a piece that is not there fails the
// test that asked for it, rather than leaving the text as it was).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "worked_example.h"

namespace baseline::testing {

inline std::string workedExample() { return joinLines(kWorkedExample); }

inline std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

}  // namespace baseline::testing
