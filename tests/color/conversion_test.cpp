// The colour library against published vectors, round trips through every space, and the
// errors it returns instead of NaNs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "color/cam16.h"
#include "color/convert.h"
#include "color/spaces.h"

using namespace orvel::color;

namespace {

Color make(SpaceTag space, double c0, double c1, double c2) {
  return color(space, c0, c1, c2).value();
}

struct Vector {
  const char* what;
  SpaceTag from;
  Vec3 input;
  SpaceTag to;
  Vec3 expected;
  double tolerance;
};

// Inputs in XYZ are the reference's own XYZ, so the check does not depend on which published
// sRGB matrix produced them.
const Vector kVectors[] = {
    {"oklab red", tagSrgb, {1, 0, 0}, tagOklab, {0.6279553639, 0.2248630684, 0.1258462773}, 2e-6},
    {"oklab blue",
     tagSrgb,
     {0, 0, 1},
     tagOklab,
     {0.4520137182, -0.03245697517, -0.3115281657},
     2e-6},
    {"oklch green", tagSrgb, {0, 1, 0}, tagOklch, {0.8664396175, 0.2948272245, 142.4953450}, 2e-5},
    {"oklab white", tagSrgb, {1, 1, 1}, tagOklab, {1, 0, 0}, 1e-6},
    {"lab red",
     tagXyz,
     {0.4123907993, 0.2126390059, 0.01933081872},
     tagLab,
     {54.29054140, 80.80492817, 69.89096477},
     2e-3},
    {"lch blue",
     tagXyz,
     {0.1804807884, 0.07219231536, 0.9505321522},
     tagLch,
     {29.56830198, 131.2014481, 301.3642677},
     2e-3},
    {"lab white", tagSrgb, {1, 1, 1}, tagLab, {100, 0, 0}, 2e-3},
    {"xyy red", tagSrgb, {1, 0, 0}, tagXyy, {0.64, 0.33, 0.2126390059}, 1e-4},
    {"ictcp red",
     tagXyz,
     {0.4123907993, 0.2126390059, 0.01933081872},
     tagIctcp,
     {0.4278802844, -0.1157043598, 0.2787289474},
     1e-6},
    {"ictcp white", tagXyz, {0.9504559271, 1.0, 1.089057751}, tagIctcp, {0.5806888810, 0, 0}, 1e-6},
    {"jzazbz red",
     tagXyz,
     {0.4123907993, 0.2126390059, 0.01933081872},
     tagJzazbz,
     {0.1343847310, 0.1178852626, 0.1118781090},
     1e-6},
    {"jzazbz blue",
     tagXyz,
     {0.1804807884, 0.07219231536, 0.9505321522},
     tagJzazbz,
     {0.09577429215, -0.04084549610, -0.1858542849},
     1e-6},
    {"jzazbz inverse", tagJzazbz, {0.5, 0, 0}, tagXyz, {7.986957, 8.397692, 9.136922}, 2e-4},
    {"cam16 red",
     tagXyz,
     {0.41233895, 0.2126, 0.01932141},
     tagCam16,
     {46.4451854552, 113.357887394, 27.4082251372},
     1e-4},
    {"cam16 blue",
     tagXyz,
     {0.18051042, 0.0722, 0.95034478},
     tagCam16,
     {25.4656293564, 87.2306936803, 282.788179562},
     1e-4},
    {"cam16 white",
     tagXyz,
     {0.95047001, 1.0, 1.08883001},
     tagCam16,
     {100.0, 2.86903520368, 209.491959474},
     1e-4},
    {"cam16-ucs green",
     tagXyz,
     {0.35762064, 0.7152, 0.11916382},
     tagCam16Ucs,
     {86.7111529491, -37.4768937687, 29.1330805271},
     1e-4},
    {"hct red",
     tagXyz,
     {0.41233895, 0.2126, 0.01932141},
     tagHct,
     {27.4082251372, 113.357887394, 53.2328817858},
     1e-4},
    {"hct grey",
     tagXyz,
     {0.1753379499, 0.1844749945, 0.2008619101},
     tagHct,
     {209.493959054, 1.81560100420, 50.0344387925},
     1e-4},
    {"hwb to srgb", tagHwb, {0, 0.2, 0.4}, tagSrgb, {0.6, 0.2, 0.2}, 1e-7},
    {"hwb to srgb 2", tagHwb, {90, 0.3, 0.05}, tagSrgb, {0.625, 0.95, 0.3}, 1e-7},
    {"hwb normalised", tagHwb, {0, 0.4, 0.8}, tagSrgb, {1.0 / 3, 1.0 / 3, 1.0 / 3}, 1e-7},
    {"srgb to hwb", tagSrgb, {0.6, 0.2, 0.2}, tagHwb, {0, 0.2, 0.4}, 1e-6},
    {"hsl", tagSrgb, {0.6, 0.2, 0.2}, tagHsl, {0, 0.5, 0.4}, 1e-6},
    {"hsv", tagSrgb, {0.6, 0.2, 0.2}, tagHsv, {0, 2.0 / 3, 0.6}, 1e-6},
    {"ycbcr red", tagSrgb, {1, 0, 0}, tagYcbcr, {0.2126, -0.2126 / 1.8556, 0.5}, 1e-7},
    {"cmyk", tagSrgb, {1, 0.25, 0}, tagCmyk, {0, 0.75, 1}, 1e-7},
    {"oklch negative hue", tagOklab, {0.5, 0.1, -0.1}, tagOklch, {0.5, 0.1414213562, 315}, 1e-5},
};

TEST(ColourVectors, MatchThePublishedValues) {
  for (const Vector& v : kVectors) {
    Result<Color> out = to(make(v.from, v.input[0], v.input[1], v.input[2]), v.to);
    ASSERT_TRUE(out.ok()) << v.what << ": " << out.error().message;
    for (int i = 0; i < 3; ++i) {
      const double scale = std::max(1.0, std::fabs(v.expected[i]));
      EXPECT_NEAR(out.value().c[i], v.expected[i], v.tolerance * scale)
          << v.what << " [" << i << "]";
    }
    EXPECT_EQ(out.value().space, v.to);
  }
}

TEST(ColourVectors, ViewingConditionsAndHctSolver) {
  const ViewingConditions& vc = defaultViewingConditions();
  EXPECT_NEAR(vc.adaptingLuminance, 11.725677948856951, 1e-12);
  EXPECT_NEAR(vc.backgroundY, 18.418651851244416, 1e-12);
  EXPECT_NEAR(vc.fl, 0.3884814537800353, 1e-12);
  EXPECT_NEAR(vc.z, 1.909169568483652, 1e-12);
  EXPECT_NEAR(vc.nbb, 1.0169191804458757, 1e-12);
  EXPECT_NEAR(vc.aw, 29.98099719444734, 1e-6);  // through our own D65 white
  EXPECT_NEAR(vc.rgbD[0], 1.02117770275752, 1e-9);

  struct Solve {
    double h, c, t;
    int rgb;
  };
  // The solver rounds to bytes: requests in the gamut come back exactly, others on its surface.
  const Solve solves[] = {{282.788, 87.230, 90, 0xE0E0FF}, {120, 200, 50, 0x6D7F00},
                          {120, 60, 50, 0x6D7F00},         {250, 50, 40, 0x00629D},
                          {30, 100, 70, 0xFF8A73},         {77, 0, 50, 0x777777},
                          {10, 40, 0, 0x000000},           {10, 40, 100, 0xFFFFFF}};
  for (const Solve& s : solves) {
    const std::array<int, 3> rgb = solveToInt(s.h, s.c, s.t);
    EXPECT_EQ(rgb[0] << 16 | rgb[1] << 8 | rgb[2], s.rgb) << s.h << " " << s.c << " " << s.t;
  }
}

// Round trip sRGB → space → sRGB over a grid of byte values, within each space's tolerance.
TEST(ColourRoundTrip, EverySpaceBackToSrgb) {
  for (SpaceTag space = 1; space <= kLastSpaceTag; ++space) {
    const SpaceDescriptor* d = spaceByTag(space);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(spaceByName(d->name), d);
    double tolerance = 2e-6;
    if (d->family == famIctcp || d->family == famJzazbz || d->family == famCam16 ||
        d->family == famCam16Ucs || d->family == famXyy || d->family == famLab ||
        d->family == famLch) {
      tolerance = 5e-5;
    }
    if (d->family == famHct) tolerance = 1e-5;  // the solver lands on the same bytes
    double worst = 0;
    for (int r = 0; r < 256; r += 51) {
      for (int g = 0; g < 256; g += 17) {
        for (int b = 0; b < 256; b += 85) {
          const Color source = make(tagSrgb, r / 255.0f, g / 255.0f, b / 255.0f);
          Result<Color> there = to(source, space);
          if (space == tagXyy && r + g + b == 0) {
            ASSERT_FALSE(there.ok());
            EXPECT_EQ(there.error().message, "XYZ sum=0 -> xyY undefined");
            continue;
          }
          ASSERT_TRUE(there.ok()) << d->name << " " << there.error().message;
          Result<Color> back = to(there.value(), tagSrgb);
          ASSERT_TRUE(back.ok()) << d->name;
          for (int i = 0; i < 3; ++i)
            worst = std::max<double>(worst, std::fabs(back.value().c[i] - source.c[i]));
        }
      }
    }
    EXPECT_LE(worst, tolerance) << d->name;
  }
}

TEST(ColourErrors, ReturnedNotRaised) {
  struct Case {
    Result<Color> result;
    const char* message;
  };
  const Case cases[] = {
      {to(make(tagXyy, 0.3, 0.0, 0.5), tagSrgb), "xyY with y=0 is undefined"},
      {to(make(tagXyz, 0, 0, 0), tagXyy), "XYZ sum=0 -> xyY undefined"},
      {color(tagSrgb, 0.5, 0.5, 0.5, 1.5), "alpha out of [0,1]"},
      {color(kNoSpace, 0.5, 0.5, 0.5), "color requires a known space"},
      {color(tagSrgb, NAN, 0.5, 0.5), "component NaN/Inf at bounds"},
      {color(tagSrgb, 1e300, 0.5, 0.5), "component NaN/Inf at bounds"},
      {to(Color{{0, 0, 0}, 1, 99}, tagSrgb), "space not registered"},
      {to(make(tagSrgb, 0, 0, 0), 99), "target space not registered"},
      {fromXYZ(make(tagXyz, 0.2, 0.2, 0.2), 0), "target space not registered"},
      {shortPath(make(tagLab, 50, 0, 0), tagOklab), "not a short-path pair"},
      {to(make(tagLab, 1e36, 0, 0), tagSrgb), "component NaN/Inf at bounds"},
  };
  for (const Case& c : cases) {
    ASSERT_FALSE(c.result.ok()) << c.message;
    EXPECT_EQ(c.result.error().message, c.message);
  }
  try {
    (void)cases[0].result.value();
    FAIL();
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(),
                 "field 'value' is not accessible for type 'Result' using 'kind = rkErr'");
  }
  EXPECT_EQ(spaceTagText(7), "SpaceTag(7)");
  // HCT far beyond the gamut lands on its surface, never on NaN.
  Result<Color> wild = to(make(tagHct, 120, 1e6, 50), tagSrgb);
  ASSERT_TRUE(wild.ok());
  for (float v : wild.value().c) EXPECT_TRUE(v >= 0 && v <= 1);
}

TEST(ColourMatrices, InverseAndRegistry) {
  const Mat3 singular = {{{1, 2, 3}, {2, 4, 6}, {0, 0, 1}}};
  EXPECT_EQ(inverse3(singular).error().message, "inverse3: singular matrix");
  EXPECT_EQ(inverse3({{{NAN, 0, 0}, {0, 1, 0}, {0, 0, 1}}}).error().message,
            "inverse3: non-finite entry");
  const Mat3 m = spaceByTag(tagP3)->toXyz;
  const Mat3 identity = mul3(m, inverse3(m).value());
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(identity[r][c], r == c ? 1.0 : 0.0, 1e-12);
  EXPECT_EQ(
      makeRgbDescriptor("flat", 200, famRgbLinear, kD65, tkLinear, 1, singular).error().message,
      "RGB primaries matrix must be invertible");

  EXPECT_FALSE(registerSpace(makeAnalyticDescriptor("oklab", 201, famOklab, {})));   // name taken
  EXPECT_FALSE(registerSpace(makeAnalyticDescriptor("other", tagLab, famLab, {})));  // tag taken
  EXPECT_TRUE(registerSpace(makeAnalyticDescriptor("test-space", 202, famXyz, {})));
  sealSpaces();
  EXPECT_FALSE(registerSpace(makeAnalyticDescriptor("late", 203, famXyz, {})));
  EXPECT_EQ(spaceByName("late"), nullptr);
  EXPECT_EQ(spaceByTag(202)->name, "test-space");
}

}  // namespace

// The batch conversion of sRGB bytes into OKLab against `to`, bit for bit, over every seventh
// triple (all levels of each channel occur) and a count that leaves a scalar tail.
TEST(ColourBytes, OklabOfSrgbBytesEqualsTo) {
  std::vector<uint32_t> triples;
  for (uint32_t t = 0; t < (1u << 24); t += 7) triples.push_back(t);
  triples.push_back(0xFFFFFF);
  std::vector<std::array<float, 3>> fast(triples.size());
  ASSERT_TRUE(oklabOfSrgbBytes(triples.data(), triples.size(), fast.data()));
  std::size_t differing = 0;
  for (std::size_t i = 0; i < triples.size(); ++i) {
    const uint32_t t = triples[i];
    const Color srgb{{static_cast<float>(t >> 16) / 255.0f,
                      static_cast<float>(t >> 8 & 255) / 255.0f,
                      static_cast<float>(t & 255) / 255.0f},
                     1.0f,
                     tagSrgb};
    const std::array<float, 3> slow = to(srgb, tagOklab).value().c;
    differing += std::memcmp(slow.data(), fast[i].data(), sizeof slow) != 0;
  }
  EXPECT_EQ(differing, 0u);
}
