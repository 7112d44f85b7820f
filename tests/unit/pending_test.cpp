// Whole-file writes as the user's files meet them: through links, with other names, with their
// own permissions and owner, and failing part way.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "media/pending.h"
#include "tests/support/process.h"

using namespace kandu;

namespace {
bool isLink(const std::string &path) {
  struct stat st{};
  return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}
}  // namespace

// A save through a link writes the file the link names and keeps the link: relative or absolute,
// through a chain of links, and to a file the link names that does not exist yet. Nothing is left
// beside either.
TEST(WholeFile, ThroughALinkTheFileItNamesIsWrittenAndTheLinkKept) {
  Workspace ws;
  ASSERT_EQ(mkdir(ws.path("songs").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(ws.path("project").c_str(), 0755), 0);
  ws.write("songs/song.timeline", "0 1000 morph\n");
  ASSERT_EQ(symlink("../songs/song.timeline", ws.path("project/song.timeline").c_str()), 0);
  ASSERT_EQ(symlink(ws.path("project/song.timeline").c_str(), ws.path("project/again.timeline").c_str()), 0);
  ASSERT_EQ(symlink("later.timeline", ws.path("project/dangling.timeline").c_str()), 0);
  std::string error;
  ASSERT_TRUE(writeWholeFile(ws.path("project/song.timeline"), "0 2000 morph\n", error)) << error;
  EXPECT_TRUE(isLink(ws.path("project/song.timeline")));
  EXPECT_EQ(fileContent(ws.path("songs/song.timeline")), "0 2000 morph\n");
  ASSERT_TRUE(writeWholeFile(ws.path("project/again.timeline"), "0 3000 morph\n", error)) << error;
  EXPECT_TRUE(isLink(ws.path("project/again.timeline")) && isLink(ws.path("project/song.timeline")));
  EXPECT_EQ(fileContent(ws.path("songs/song.timeline")), "0 3000 morph\n");
  ASSERT_TRUE(writeWholeFile(ws.path("project/dangling.timeline"), "new\n", error)) << error;
  EXPECT_TRUE(isLink(ws.path("project/dangling.timeline")));
  EXPECT_EQ(fileContent(ws.path("project/later.timeline")), "new\n");
  EXPECT_EQ(ws.list("songs"), (std::vector<std::string>{"song.timeline"}));
  EXPECT_EQ(ws.list("project"),
            (std::vector<std::string>{"again.timeline", "dangling.timeline", "later.timeline", "song.timeline"}));

  ASSERT_EQ(symlink("b", ws.path("a").c_str()), 0);
  ASSERT_EQ(symlink("a", ws.path("b").c_str()), 0);
  EXPECT_FALSE(writeWholeFile(ws.path("a"), "x", error));
  EXPECT_EQ(error, ws.path("a") + ": Too many levels of symbolic links");
}

// A file with another name is refused, both names keeping their bytes; a file's permissions are
// kept, and so is its owner where the writer may give it (as root).
TEST(WholeFile, HardLinksAreRefusedModeAndOwnerKept) {
  Workspace ws;
  const std::string file = ws.write("a.timeline", "old\n");
  ASSERT_EQ(link(file.c_str(), ws.path("b.timeline").c_str()), 0);
  std::string error;
  EXPECT_FALSE(checkFileTarget(file, error));
  EXPECT_FALSE(writeWholeFile(file, "new\n", error));
  EXPECT_EQ(error, file + ": has 2 names (hard links); writing replaces the file, which would leave the other names "
                          "with the old bytes: give it a name of its own first (cp NAME NAME.new && mv NAME.new NAME)");
  EXPECT_EQ(fileContent(file), "old\n");
  EXPECT_EQ(fileContent(ws.path("b.timeline")), "old\n");
  EXPECT_EQ(ws.list(), (std::vector<std::string>{"a.timeline", "b.timeline"}));

  const std::string own = ws.write("own.timeline", "old\n");
  ASSERT_EQ(chmod(own.c_str(), 0640), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(own.c_str(), 4321, 8765), 0);
  }
  ASSERT_TRUE(writeWholeFile(own, "new\n", error)) << error;
  struct stat st{};
  ASSERT_EQ(stat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 8765u);
  }
  EXPECT_EQ(fileContent(own), "new\n");
}

// Made to fail for real part way, by a file-size limit in a child process: the old file stays byte
// for byte, nothing is left beside it, and the reason is the system's.
TEST(WholeFile, AWriteThatFailsPartWayLeavesTheOldBytes) {
  Workspace ws;
  const std::string file = ws.write("song.timeline", "0 1000 morph\n");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::string error;
    const bool wrote = writeWholeFile(file, std::string(100000, 'x'), error);
    _exit(!wrote && error == file + ": File too large" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child's write did not fail as the limit says";
  EXPECT_EQ(fileContent(file), "0 1000 morph\n");
  EXPECT_EQ(ws.list(), (std::vector<std::string>{"song.timeline"}));
}
