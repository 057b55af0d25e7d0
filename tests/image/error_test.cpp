// requireLen: the image half's length check.
#include "image/error.h"

#include <gtest/gtest.h>

using namespace orvel::image;

TEST(ImageError, RequireLenPassesOrRaisesTruncated) {
  EXPECT_EQ(requireLen(10, 10, "png: short"), 10);
  EXPECT_EQ(requireLen(11, 3, "png: short"), 11);
  try {
    requireLen(9, 10, "png: chunk truncated");
    FAIL();
  } catch (const OrvelException& e) {
    EXPECT_STREQ(e.what(), "png: chunk truncated");
    EXPECT_EQ(e.kind(), iekTruncated);
  }
}
