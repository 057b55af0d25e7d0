// The handle patterns: creation, use, free, kinds kept apart, failures mapped to statuses,
// and records kept alive by running calls.
#include "c_api/handles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "image/error.h"

using namespace orvel::capi;

namespace {

struct TestHandle;  // what callers see

std::atomic<int> liveRecords{0};

struct MetaLike : HandleRecord {
  static constexpr HandleKind kind = HandleKind::meta;
  explicit MetaLike(int v) : value(v) { ++liveRecords; }
  ~MetaLike() override { --liveRecords; }
  int value;
};

struct ImageLike : HandleRecord {
  static constexpr HandleKind kind = HandleKind::image;
  ImageLike() { ++liveRecords; }
  ~ImageLike() override { --liveRecords; }
};

ov_status makeMeta(TestHandle** out, int value) {
  return createHandle<MetaLike>(Family::exif, out, value >= 0,
                                [&] { return std::make_unique<MetaLike>(value); });
}

int valueOf(TestHandle* h) {
  return withHandle<MetaLike>(h, -1, [](MetaLike& m) { return m.value; });
}

// A host's static initialiser may use the library before the library's own globals exist.
struct CreatedDuringStaticInit {
  CreatedDuringStaticInit() {
    TestHandle* h = nullptr;
    created = makeMeta(&h, 5) == 0 && valueOf(h) == 5;
    freeHandle<MetaLike>(h);
  }
  bool created = false;
};
const CreatedDuringStaticInit staticInitUse;

class Handles : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(liveRecords.load(), 0); }
};

}  // namespace

TEST_F(Handles, UsableFromStaticInitialisers) { EXPECT_TRUE(staticInitUse.created); }

TEST_F(Handles, CreateUseFree) {
  TestHandle* h = nullptr;
  ASSERT_EQ(makeMeta(&h, 7), 0);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(containsHandle(HandleKind::meta, h));
  EXPECT_EQ(valueOf(h), 7);
  EXPECT_EQ(reinterpret_cast<HandleRecord*>(h)->referenceCount(), 1);
  freeHandle<MetaLike>(h);
  EXPECT_FALSE(containsHandle(HandleKind::meta, h));
}

TEST_F(Handles, NullOutAndInvalidArguments) {
  EXPECT_EQ(makeMeta(nullptr, 1), 2);
  TestHandle* h = reinterpret_cast<TestHandle*>(0x1234);
  EXPECT_EQ(makeMeta(&h, -1), 2);
  EXPECT_EQ(h, nullptr);  // nulled before the argument check
}

TEST_F(Handles, BuildFailureMapsByFamily) {
  TestHandle* h = reinterpret_cast<TestHandle*>(0x1234);
  auto throwsRuntime = []() -> std::unique_ptr<MetaLike> { throw std::runtime_error("x"); };
  EXPECT_EQ(createHandle<MetaLike>(Family::exif, &h, true, throwsRuntime), 1);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(createHandle<MetaLike>(Family::image, &h, true, throwsRuntime), 2);
  auto unsupported = []() -> std::unique_ptr<ImageLike> {
    throw orvel::image::OrvelException(orvel::image::iekUnsupported, "png: interlaced");
  };
  EXPECT_EQ(createHandle<ImageLike>(Family::image, &h, true, unsupported), 4);
  auto truncated = []() -> std::unique_ptr<ImageLike> {
    throw orvel::image::OrvelException(orvel::image::iekTruncated, "png: short");
  };
  EXPECT_EQ(createHandle<ImageLike>(Family::image, &h, true, truncated), 2);
  EXPECT_EQ(createHandle<ImageLike>(Family::exif, &h, true, truncated), 1);
  EXPECT_EQ(h, nullptr);
}

TEST_F(Handles, KindsAreKeptApart) {
  TestHandle* meta = nullptr;
  TestHandle* image = nullptr;
  ASSERT_EQ(makeMeta(&meta, 3), 0);
  ASSERT_EQ(createHandle<ImageLike>(Family::image, &image, true,
                                    [] { return std::make_unique<ImageLike>(); }),
            0);
  EXPECT_EQ(withHandle<ImageLike>(meta, -1, [](ImageLike&) { return 1; }), -1);
  EXPECT_EQ(withHandleStatus<ImageLike>(Family::image, meta, [](ImageLike&) { return 0; }), 2);
  EXPECT_EQ(valueOf(image), -1);
  freeHandle<ImageLike>(meta);  // a handle of another kind: ignored
  EXPECT_EQ(valueOf(meta), 3);
  freeHandle<MetaLike>(meta);
  freeHandle<ImageLike>(image);
}

TEST_F(Handles, NullUnknownAndDoubleFreeAreIgnored) {
  freeHandle<MetaLike>(nullptr);
  int notAHandle = 0;
  freeHandle<MetaLike>(&notAHandle);
  EXPECT_EQ(valueOf(nullptr), -1);
  EXPECT_EQ(valueOf(reinterpret_cast<TestHandle*>(&notAHandle)), -1);
  TestHandle* h = nullptr;
  ASSERT_EQ(makeMeta(&h, 1), 0);
  freeHandle<MetaLike>(h);
  freeHandle<MetaLike>(h);
  EXPECT_EQ(valueOf(h), -1);
  EXPECT_EQ(withHandleStatus<MetaLike>(Family::exif, h, [](MetaLike&) { return 0; }), 2);
}

TEST_F(Handles, FailureInsideAUseGivesTheAbsentResultOrStatus) {
  TestHandle* h = nullptr;
  ASSERT_EQ(makeMeta(&h, 1), 0);
  EXPECT_EQ(withHandle<MetaLike>(h, -5, [](MetaLike&) -> int { throw std::out_of_range("i"); }), -5);
  EXPECT_EQ(withHandleStatus<MetaLike>(Family::exif, h,
                                       [](MetaLike&) -> ov_status { throw std::bad_alloc(); }),
            1);
  EXPECT_EQ(reinterpret_cast<HandleRecord*>(h)->referenceCount(), 1);  // call reference dropped
  freeHandle<MetaLike>(h);
}

TEST_F(Handles, RunningCallKeepsAFreedRecordAlive) {
  TestHandle* h = nullptr;
  ASSERT_EQ(makeMeta(&h, 9), 0);
  int seen = withHandle<MetaLike>(h, -1, [&](MetaLike& m) {
    freeHandle<MetaLike>(h);  // freed while this call still holds it
    EXPECT_EQ(liveRecords.load(), 1);
    return m.value;
  });
  EXPECT_EQ(seen, 9);
  EXPECT_EQ(liveRecords.load(), 0);
}

TEST_F(Handles, RetainHandleAddsAReference) {
  TestHandle* h = nullptr;
  ASSERT_EQ(makeMeta(&h, 2), 0);
  MetaLike* held = retainHandle<MetaLike>(h);
  ASSERT_NE(held, nullptr);
  freeHandle<MetaLike>(h);
  EXPECT_EQ(held->value, 2);
  held->release();
  EXPECT_EQ(retainHandle<MetaLike>(h), nullptr);
}

TEST_F(Handles, ConcurrentUseAndFreeNeverLoseARecord) {
  // Many threads query one handle while the main thread frees it: the atomic count and the
  // reference taken under the lock keep every running query safe.
  for (int round = 0; round < 50; ++round) {
    TestHandle* h = nullptr;
    ASSERT_EQ(makeMeta(&h, round), 0);
    std::atomic<bool> go{false};
    std::vector<std::thread> users;
    for (int t = 0; t < 4; ++t) {
      users.emplace_back([&] {
        while (!go) {}
        for (int i = 0; i < 200; ++i) {
          int v = valueOf(h);
          EXPECT_TRUE(v == round || v == -1);
        }
      });
    }
    go = true;
    freeHandle<MetaLike>(h);
    for (auto& u : users) u.join();
  }
}

TEST_F(Handles, DestroyGlobalsForgetsEveryHandle) {
  TestHandle* h = nullptr;
  ASSERT_EQ(makeMeta(&h, 1), 0);
  MetaLike* keep = retainHandle<MetaLike>(h);
  VelDestroyGlobals();
  EXPECT_EQ(valueOf(h), -1);
  EXPECT_EQ(keep->value, 1);  // records are not destroyed
  keep->release();            // drop the test's reference
  keep->release();            // and the registration's, which nobody can free any more
}
