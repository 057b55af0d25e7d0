// Safe file replacement against real failures: read-only and missing directories, a leftover
// temporary file, another file system, a full file system.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "metadata/edit/replace_file.h"
#include "edit_test_util.h"

namespace orvel::metadata::edit {

using namespace orvel::metadata;

namespace {

using testing::Bytes;
using testing::ScratchDir;

const Bytes kOld = {'o', 'l', 'd'};
const Bytes kNew(5000, 'n');

// A target with known bytes and bits; checks afterwards that both are unchanged and that no
// temporary file is left in its directory.
struct Target {
  std::string path;
  unsigned mode;
  Target(const std::string& where, unsigned bits) : path(where), mode(bits) {
    testing::writeBytes(path, kOld);
    ::chmod(path.c_str(), bits);
  }
  void expectUntouched() const {
    EXPECT_EQ(testing::readBytes(path), kOld);
    EXPECT_EQ(testing::permissionsOf(path), mode);
    EXPECT_FALSE(testing::exists(temporaryPathFor(path)));
  }
};

// A small tmpfs mounted for the test (root only); unmounted at the end.
class TmpfsMount {
 public:
  TmpfsMount(const std::string& where, const char* options) : path_(where) {
    ::mkdir(path_.c_str(), 0755);
    mounted_ = ::geteuid() == 0 && ::mount("tmpfs", path_.c_str(), "tmpfs", 0, options) == 0;
  }
  ~TmpfsMount() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  bool remountReadOnly() {
    return ::mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  std::string path_;
  bool mounted_ = false;
};

TEST(ReplaceFile, ReplacesKeepingPermissionBitsAndLeavesNoTemporary) {
  ScratchDir dir;
  const Target target(dir.file("photo.jpg"), 0640);
  ASSERT_TRUE(replaceFile(target.path, kNew));
  EXPECT_EQ(testing::readBytes(target.path), kNew);
  EXPECT_EQ(testing::permissionsOf(target.path), 0640u);
  EXPECT_EQ(testing::listDirectory(dir.path()).size(), 1u);
  // A new file gets the usual bits for new files; an empty buffer gives an empty file.
  ASSERT_TRUE(replaceFile(dir.file("new.jpg"), {}));
  EXPECT_TRUE(testing::readBytes(dir.file("new.jpg")).empty());
  EXPECT_EQ(temporaryPathFor("a/b"), "a/b.orvel-" + std::to_string(::getpid()) + ".tmp");
}

TEST(ReplaceFile, WritesThroughSymbolicLinksAndLeavesThemAsTheyWere) {
  ScratchDir dir;
  ::mkdir(dir.file("real").c_str(), 0755);
  const Target target(dir.file("real/photo.jpg"), 0640);
  // A relative link, and an absolute link to that link.
  ASSERT_EQ(::symlink("real/photo.jpg", dir.file("link.jpg").c_str()), 0);
  const std::string absoluteLink = std::filesystem::absolute(dir.file("link.jpg")).string();
  ASSERT_EQ(::symlink(absoluteLink.c_str(), dir.file("chain.jpg").c_str()), 0);
  for (const char* name : {"link.jpg", "chain.jpg"}) {
    SCOPED_TRACE(name);
    testing::writeBytes(target.path, kOld);
    ASSERT_TRUE(replaceFile(dir.file(name), kNew));
    EXPECT_EQ(testing::readBytes(target.path), kNew);
    EXPECT_EQ(testing::permissionsOf(target.path), 0640u);
    struct stat info {};
    ASSERT_EQ(::lstat(dir.file(name).c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(testing::listDirectory(dir.file("real")).size(), 1u);  // no temporary left
    EXPECT_EQ(testing::listDirectory(dir.path()).size(), 3u);
  }
  // A link to a file not yet there creates it; a loop of links is refused and left alone.
  ASSERT_EQ(::symlink("real/new.jpg", dir.file("ahead.jpg").c_str()), 0);
  ASSERT_TRUE(replaceFile(dir.file("ahead.jpg"), kNew));
  EXPECT_EQ(testing::readBytes(dir.file("real/new.jpg")), kNew);
  ASSERT_EQ(::symlink("loop-b", dir.file("loop-a").c_str()), 0);
  ASSERT_EQ(::symlink("loop-a", dir.file("loop-b").c_str()), 0);
  EXPECT_FALSE(replaceFile(dir.file("loop-a"), kNew));
  struct stat info {};
  ASSERT_EQ(::lstat(dir.file("loop-a").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
}

TEST(ReplaceFile, LeftoverTemporaryFileIsAFailureAndStaysAsItWas) {
  ScratchDir dir;
  Target target(dir.file("photo.jpg"), 0644);
  const std::string leftover = temporaryPathFor(target.path);
  testing::writeBytes(leftover, {'l', 'e', 'f', 't'});
  EXPECT_FALSE(replaceFile(target.path, kNew));
  EXPECT_EQ(testing::readBytes(target.path), kOld);
  EXPECT_EQ(testing::readBytes(leftover), (Bytes{'l', 'e', 'f', 't'}));
}

TEST(ReplaceFile, UnwritablePlacesFailWithoutTouchingAnything) {
  ScratchDir dir;
  const Target file(dir.file("plain"), 0644);
  // A path below a regular file: no one, root included, can create anything there.
  EXPECT_FALSE(replaceFile(file.path + "/photo.jpg", kNew));
  EXPECT_FALSE(replaceFile(dir.file("missing/photo.jpg"), kNew));
  EXPECT_FALSE(replaceFile("", kNew));
  file.expectUntouched();
  // A directory as the target: the rename fails and the temporary file is removed.
  ::mkdir(dir.file("folder").c_str(), 0755);
  EXPECT_FALSE(replaceFile(dir.file("folder"), kNew));
  EXPECT_FALSE(testing::exists(temporaryPathFor(dir.file("folder"))));
}

TEST(ReplaceFile, ReadOnlyFileSystem) {
  ScratchDir dir;
  TmpfsMount mount(dir.file("ro"), "size=1m");
  if (!mount.mounted()) GTEST_SKIP() << "needs root to mount a read-only tmpfs";
  const Target target(dir.file("ro/photo.jpg"), 0600);
  ASSERT_TRUE(mount.remountReadOnly());
  EXPECT_FALSE(replaceFile(target.path, kNew));
  target.expectUntouched();
}

TEST(ReplaceFile, FullFileSystem) {
  ScratchDir dir;
  TmpfsMount mount(dir.file("small"), "size=64k");
  if (!mount.mounted()) GTEST_SKIP() << "needs root to mount a small tmpfs";
  const Target target(dir.file("small/photo.jpg"), 0604);
  EXPECT_FALSE(replaceFile(target.path, Bytes(256 * 1024, 'x')));
  target.expectUntouched();
  EXPECT_EQ(testing::listDirectory(dir.file("small")).size(), 1u);
}

TEST(ReplaceFile, MovesAcrossFileSystemsByCopying) {
  ScratchDir here;
  ScratchDir outer;
  TmpfsMount mount(outer.file("other"), "size=1m");
  if (!mount.mounted()) GTEST_SKIP() << "needs root to mount a tmpfs as another file system";
  ScratchDir there(outer.file("other"));
  // A real EXDEV: a synced file on one file system moved over a target on another.
  const std::string source = there.file("staged");
  testing::writeBytes(source, kNew);
  const Target target(here.file("photo.jpg"), 0640);
  ASSERT_TRUE(moveIntoPlace(source, target.path, 0640));
  EXPECT_EQ(testing::readBytes(target.path), kNew);
  EXPECT_EQ(testing::permissionsOf(target.path), 0640u);
  EXPECT_FALSE(testing::exists(source));
  EXPECT_FALSE(testing::exists(temporaryPathFor(target.path)));
  // When the copy cannot be made, the target stays as it was and the source is kept.
  testing::writeBytes(source, kNew);
  const Target blocked(here.file("blocked.jpg"), 0644);
  testing::writeBytes(temporaryPathFor(blocked.path), {});
  EXPECT_FALSE(moveIntoPlace(source, blocked.path, 0644));
  EXPECT_EQ(testing::readBytes(blocked.path), kOld);
  EXPECT_TRUE(testing::exists(source));
  // And replaceFile itself writes a target on the other file system.
  const Target remote(there.file("remote.jpg"), 0600);
  ASSERT_TRUE(replaceFile(remote.path, kNew));
  EXPECT_EQ(testing::readBytes(remote.path), kNew);
  EXPECT_EQ(testing::permissionsOf(remote.path), 0600u);
}

}  // namespace
}  // namespace orvel::metadata::edit
