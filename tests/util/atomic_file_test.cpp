// Whole-or-nothing files: the text arrives whole, an old file is replaced only by a complete new
// one, and a failed write leaves neither the target nor a temporary file behind.
#include "util/atomic_file.h"

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "support.h"

namespace {

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Files in dir, hidden temporary ones included.
int entries(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  int count = 0;
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    count += name != "." && name != "..";
  }
  closedir(d);
  return count;
}

TEST(AtomicFile, WriteIsWholeOrNothing) {
  char name[] = "/tmp/armsim-atomic-XXXXXX";
  const std::string dir = mkdtemp(name);
  const std::string path = dir + "/table.csv";
  std::string why;
  const std::string text("a,b\n1,2\n\0x", 10);  // an embedded NUL must be written too
  ASSERT_EQ(atomic_file_write(path.c_str(), text, why), 1) << why;
  EXPECT_EQ(contents(path), text);
  ASSERT_EQ(atomic_file_write(path.c_str(), "new\n", why), 1) << why;
  EXPECT_EQ(contents(path), "new\n");
  EXPECT_EQ(entries(dir), 1);  // no temporary file left

  EXPECT_EQ(atomic_file_write((dir + "/missing/table.csv").c_str(), text, why), 0);
  EXPECT_NE(why.find("missing/table.csv"), std::string::npos) << why;
  EXPECT_EQ(atomic_file_write(dir.c_str(), text, why), 0);  // a directory
  EXPECT_EQ(contents(path), "new\n");
  EXPECT_EQ(entries(dir), 1);
  unlink(path.c_str());
  rmdir(dir.c_str());
}

}  // namespace
