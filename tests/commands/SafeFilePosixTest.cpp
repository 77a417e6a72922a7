// Opening files on POSIX systems: what is not a regular file is refused.

#include <sys/stat.h>

#include "FileTestSupport.h"

namespace quillmark {
namespace {

using namespace testing_support;

TEST(SafeFile, OpenExistingRefusesWhatIsNotARegularFile) {
  ScratchFolder folder;
  const std::string fifo = folder / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  // A pipe without a writer must neither block the opening nor pass for a file.
  for (const FileAccess access : {FileAccess::kRead, FileAccess::kReadWrite}) {
    FileError error;
    FileInfo info;
    const FileHandle file = OpenExisting(fifo, access, info, error);
    EXPECT_FALSE(file.valid());
    EXPECT_EQ(error.step, FileStep::kNotRegularFile);
  }
}

}  // namespace
}  // namespace quillmark
