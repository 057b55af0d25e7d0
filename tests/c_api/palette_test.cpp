// The palette functions at the C boundary: statuses, absent results, and colours read back.
#include <gtest/gtest.h>

#include "c_api/handles.h"
#include "c_api/image_record.h"
#include "orvel.h"

using namespace orvel::capi;

namespace {

ov_image* makeImage(int64_t w, int64_t h, uint8_t layout) {
  ov_image* out = nullptr;
  createHandle<ImageRecord>(Family::image, &out, true, [&] {
    auto record = std::make_unique<ImageRecord>();
    record->image = orvel::image::newImage(w, h, layout);
    for (std::size_t i = 0; i < record->image.pixels.size(); ++i)
      record->image.pixels[i] = uint8_t(i * 37);
    return record;
  });
  return out;
}

TEST(PaletteApi, ExtractAndRead) {
  ov_exif_init();
  ov_image* image = makeImage(8, 8, 1);
  ov_palette* p = nullptr;
  ASSERT_EQ(ov_image_extract_palette(image, 4, nullptr, 0, nullptr, &p), 0);  // Wu in OKLab
  ASSERT_EQ(ov_palette_len(p), 4);
  ov_color c;
  ASSERT_EQ(ov_palette_color_at(p, 3, &c), 0);
  EXPECT_EQ(c.space, 15u);
  EXPECT_EQ(c.alpha, 1.0f);
  EXPECT_EQ(ov_palette_color_at(p, 4, &c), 2);
  EXPECT_EQ(ov_palette_color_at(p, -1, &c), 2);
  EXPECT_EQ(ov_palette_color_at(p, 0, nullptr), 2);
  EXPECT_EQ(ov_palette_tag(p), 1);
  EXPECT_EQ(ov_palette_intent(p), 0);

  const ov_quantize_opts opts = {-5, 3, 1, 0, 0};
  ov_palette* q = nullptr;
  ASSERT_EQ(ov_image_extract_palette(image, 3, "kmeansPP", 15, &opts, &q), 0);
  EXPECT_EQ(ov_palette_seed(q), uint64_t(-5));
  EXPECT_EQ(paletteOf(q), q);
  reinterpret_cast<HandleRecord*>(q)->release();  // the reference paletteOf added

  ov_palette_free(p);
  ov_palette_free(p);  // a second free is ignored
  ov_palette_free(q);
  EXPECT_EQ(ov_palette_len(p), 0);
  EXPECT_EQ(ov_palette_tag(p), 0);
  EXPECT_EQ(ov_palette_seed(p), 0u);
  EXPECT_EQ(ov_palette_color_at(p, 0, &c), 2);
  EXPECT_EQ(paletteOf(p), nullptr);
  freeHandle<ImageRecord>(image);
}

TEST(PaletteApi, Statuses) {
  ov_image* rgb = makeImage(4, 4, 1);
  ov_image* cmyk = makeImage(4, 4, 3);
  ov_palette* p = reinterpret_cast<ov_palette*>(0x1);
  struct Case {
    const ov_image* image;
    int32_t n;
    const char* algorithm;
    uint32_t space;
    ov_status status;
  };
  const Case cases[] = {
      {nullptr, 4, "wu", 0, 2},
      {reinterpret_cast<const ov_image*>(&p), 4, "wu", 0, 2},  // not a handle
      {rgb, 0, "nope", 0, 2},                                  // n checked before the name
      {rgb, -3, "wu", 0, 2},
      {rgb, 4, "nope", 0, 4},
      {rgb, 4, "WU", 0, 4},
      {rgb, 4, "kmeans", 13, 2},
      {rgb, 17, "kmeans", 15, 2},
      {rgb, 4, "wu", 27, 2},
      {rgb, 4, "wu", 256 + 15, 2},
      {cmyk, 4, "wu", 0, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ov_image_extract_palette(c.image, c.n, c.algorithm, c.space, nullptr, &p), c.status)
        << c.algorithm << " " << c.n << " " << c.space;
    EXPECT_EQ(p, nullptr);
  }
  EXPECT_EQ(ov_image_extract_palette(rgb, 4, "wu", 0, nullptr, nullptr), 2);
  // Every space the library names works, and its colours carry that space's tag.
  for (uint32_t space = 1; space <= 26; ++space) {
    ASSERT_EQ(ov_image_extract_palette(rgb, 3, "medianCut", space, nullptr, &p), 0) << space;
    ov_color c;
    ASSERT_EQ(ov_palette_color_at(p, 0, &c), 0);
    EXPECT_EQ(c.space, space);
    ov_palette_free(p);
  }
  ov_palette_free(reinterpret_cast<ov_palette*>(rgb));  // an image handle is no palette
  EXPECT_EQ(ov_palette_len(reinterpret_cast<ov_palette*>(rgb)), 0);
  ov_color made = toOvColor(0.25f, 0.5f, 0.75f, 1.0f, 16);
  EXPECT_EQ(made.c1, 0.5f);
  EXPECT_EQ(made.space, 16u);
  freeHandle<ImageRecord>(rgb);
  freeHandle<ImageRecord>(cmyk);
}

}  // namespace
