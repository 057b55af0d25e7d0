// The exported processing functions: statuses for every refused argument, what out holds
// afterwards, and that sources stay unchanged.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "orvel.h"

namespace {

using Bytes = std::vector<uint8_t>;

ov_image* make(int32_t width, int32_t height, int32_t layout, uint8_t seed) {
  const int32_t channels[] = {1, 3, 4, 4, 3, 1};
  Bytes pixels(static_cast<size_t>(width * height * channels[layout]));
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + seed);
  ov_image* image = nullptr;
  EXPECT_EQ(ov_image_from_pixels(width, height, layout, pixels.data(),
                                 static_cast<int64_t>(pixels.size()), &image),
            0);
  return image;
}

Bytes bytesOf(const ov_image* image) {
  const uint8_t* pixels = nullptr;
  int64_t length = 0;
  EXPECT_EQ(ov_image_pixels(image, &pixels, &length), 0);
  return Bytes(pixels, pixels + length);
}

TEST(ProcessFunctions, StatusesAndOut) {
  ov_image* rgb = make(5, 3, OV_IMAGE_RGB, 1);
  ov_image* meta = reinterpret_cast<ov_image*>(&rgb);  // never registered
  using Call = std::function<ov_status(ov_image*, ov_image**)>;
  const struct {
    const char* what;
    Call call;
    ov_status status;
    int32_t width = 0, height = 0;
  } cases[] = {
      {"resize", [](ov_image* h, ov_image** o) { return ov_image_resize(h, 2, 7, 2, o); }, 0, 2, 7},
      {"resize w 0", [](ov_image* h, ov_image** o) { return ov_image_resize(h, 0, 7, 2, o); }, 2, 0,
       0},
      {"resize h -1", [](ov_image* h, ov_image** o) { return ov_image_resize(h, 2, -1, 1, o); }, 2,
       0, 0},
      {"filter 3", [](ov_image* h, ov_image** o) { return ov_image_resize(h, 2, 2, 3, o); }, 2, 0,
       0},
      {"filter -1", [](ov_image* h, ov_image** o) { return ov_image_resize(h, 2, 2, -1, o); }, 2, 0,
       0},
      {"too large",
       [](ov_image* h, ov_image** o) { return ov_image_resize(h, 40000, 40000, 0, o); }, 2, 0, 0},
      {"rotate", [](ov_image* h, ov_image** o) { return ov_image_rotate(h, 0, o); }, 0, 3, 5},
      {"rotate 5", [](ov_image* h, ov_image** o) { return ov_image_rotate(h, 5, o); }, 2, 0, 0},
      {"rotate -1", [](ov_image* h, ov_image** o) { return ov_image_rotate(h, -1, o); }, 2, 0, 0},
      {"orient 6", [](ov_image* h, ov_image** o) { return ov_image_apply_orientation(h, 6, o); }, 0,
       3, 5},
      {"orient 1", [](ov_image* h, ov_image** o) { return ov_image_apply_orientation(h, 1, o); }, 0,
       5, 3},
      {"orient 0", [](ov_image* h, ov_image** o) { return ov_image_apply_orientation(h, 0, o); }, 2,
       0, 0},
      {"orient 9", [](ov_image* h, ov_image** o) { return ov_image_apply_orientation(h, 9, o); }, 2,
       0, 0},
      {"crop", [](ov_image* h, ov_image** o) { return ov_image_crop(h, 1, 1, 4, 2, o); }, 0, 4, 2},
      {"crop over", [](ov_image* h, ov_image** o) { return ov_image_crop(h, 5, 0, 1, 1, o); }, 2, 0,
       0},
      {"crop 0", [](ov_image* h, ov_image** o) { return ov_image_crop(h, 0, 0, 0, 1, o); }, 2, 0,
       0},
      {"crop -1", [](ov_image* h, ov_image** o) { return ov_image_crop(h, -1, 0, 1, 1, o); }, 2, 0,
       0},
  };
  const Bytes before = bytesOf(rgb);
  for (const auto& c : cases) {
    ov_image* out = meta;
    EXPECT_EQ(c.call(rgb, &out), c.status) << c.what;
    EXPECT_EQ(out == nullptr, c.status != 0) << c.what;
    if (out != nullptr) {
      EXPECT_EQ(ov_image_width(out), c.width) << c.what;
      EXPECT_EQ(ov_image_height(out), c.height) << c.what;
      EXPECT_EQ(ov_image_get_colorspace(out), OV_IMAGE_RGB) << c.what;
    }
    ov_image_free(out);
    out = meta;
    EXPECT_EQ(c.call(nullptr, &out), 2) << c.what;
    EXPECT_EQ(out, nullptr) << c.what;
    EXPECT_EQ(c.call(meta, &out), 2) << c.what;
    EXPECT_EQ(c.call(rgb, nullptr), 2) << c.what;
  }
  EXPECT_EQ(bytesOf(rgb), before);
  ov_image_free(rgb);
}

TEST(ProcessFunctions, CompositeStatuses) {
  ov_image* rgba = make(4, 4, OV_IMAGE_RGBA, 3);
  ov_image* gray = make(2, 2, OV_IMAGE_GRAY, 9);
  const Bytes graySource = bytesOf(gray);
  EXPECT_EQ(ov_image_composite_over(rgba, gray, 1, 1, 256), 2);
  EXPECT_EQ(ov_image_composite_over(nullptr, gray, 1, 1, 255), 2);
  EXPECT_EQ(ov_image_composite_over(rgba, nullptr, 1, 1, 255), 2);
  EXPECT_EQ(ov_image_composite_over(gray, rgba, 0, 0, 255), 2);  // destination not RGBA
  ov_image* cmyk = make(1, 1, 3, 0);
  EXPECT_EQ(ov_image_composite_over(rgba, cmyk, 0, 0, 255), 2);
  ASSERT_EQ(ov_image_composite_over(rgba, gray, 3, 3, 255), 0);
  const Bytes after = bytesOf(rgba);
  EXPECT_EQ((Bytes(after.end() - 4, after.end())),
            (Bytes{graySource[0], graySource[0], graySource[0], 255}));
  EXPECT_EQ(bytesOf(gray), graySource);
  EXPECT_EQ(ov_image_composite_over(rgba, rgba, 1, 0, 200), 0);
  EXPECT_EQ(filterFromCint(2), 2);
  EXPECT_EQ(filterFromCint(3), -1);
  EXPECT_EQ(rotateOpFromCint(4), 4);
  EXPECT_EQ(rotateOpFromCint(0xFFFFFFFFu), -1);
  for (ov_image* image : {rgba, gray, cmyk}) ov_image_free(image);
}

}  // namespace
