#include <gtest/gtest.h>

#include "win/debug.h"

TEST(DebugOutput, RecordedOnlyWhileCaptured) {
  OutputDebugStringW(u"dropped\n");
  morva::platform::capture_debug_output(true);
  OutputDebugStringW(u"one\n");
  OutputDebugStringA("two\n");
  OutputDebugStringW(nullptr);
  EXPECT_EQ(morva::platform::take_debug_output(), u"one\ntwo\n");
  EXPECT_EQ(morva::platform::take_debug_output(), u"");
  morva::platform::capture_debug_output(false);
  OutputDebugStringW(u"dropped\n");
  EXPECT_EQ(morva::platform::take_debug_output(), u"");
}
