// Tests of the case rules of Shift-JIS (932): natively by choice, on Windows
// only where the system itself runs that code page (the Wine run in a
// Japanese locale).
#pragma once

#include <gtest/gtest.h>

#include "util/Platform.h"

namespace brik::test {

class CodePage932Test : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef _WIN32
        ASSERT_TRUE(platform::SetAnsiCodePage(932));
#endif
        if (platform::AnsiCodePage() != 932) GTEST_SKIP() << "the system's ANSI code page is not 932";
    }
    void TearDown() override {
#ifndef _WIN32
        platform::SetAnsiCodePage(1252);
#endif
    }
};

}  // namespace brik::test
