// The system services under the digest runner: the pipe that feeds the module, and
// how a walk takes the entries of a Windows folder.
#include "cli/system.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace telvarn::cli {
namespace {

// The module closes its end of the pipe when it refuses a job: the feeder's next
// write must fail and leave the program running (natively, no SIGPIPE ends it).
TEST(ModulePipe, AWriteAfterTheReaderHasGoneFailsAndTheProgramGoesOn) {
  ModulePipe pipe;
  ASSERT_TRUE(pipe.Create()) << pipe.error();
  std::FILE* reader = std::fopen(pipe.name().c_str(), "rb");
  ASSERT_NE(reader, nullptr) << pipe.name();
  pipe.ReaderBound();
  std::fclose(reader);
  const std::vector<char> block(1u << 20, 'x');
  EXPECT_FALSE(pipe.WriteAll(block.data(), block.size()));
  EXPECT_EQ(pipe.error(), "Broken pipe");
  EXPECT_FALSE(pipe.WriteAll(block.data(), block.size()));
}

// Links are the name surrogates alone: every other reparse point is the file or folder
// it stands for (a cloud-synced folder's placeholder is walked), and a link to a file
// counts only when its target is a file (a dangling one is left out, not an error).
TEST(WindowsEntryKind, OnlyNameSurrogatesAreLinksAndALinkIsItsTarget) {
  constexpr uint32_t kArchive = 0x20;
  constexpr uint32_t kFolder = kWindowsAttributeDirectory;
  constexpr uint32_t kReparse = kWindowsAttributeReparsePoint;
  constexpr uint32_t kSymlink = 0xA000000C;     // IO_REPARSE_TAG_SYMLINK
  constexpr uint32_t kJunction = 0xA0000003;    // IO_REPARSE_TAG_MOUNT_POINT
  constexpr uint32_t kWslSymlink = 0xA000001D;  // IO_REPARSE_TAG_LX_SYMLINK
  constexpr uint32_t kCloud = 0x9000001A;       // IO_REPARSE_TAG_CLOUD
  constexpr uint32_t kCloud6 = 0x9000601A;      // IO_REPARSE_TAG_CLOUD_6
  constexpr uint32_t kDedup = 0x80000013;       // IO_REPARSE_TAG_DEDUP
  enum Target { kNotAsked, kTargetFile, kTargetMissing };
  struct Case {
    uint32_t attributes;
    uint32_t tag;
    Target target;
    EntryKind kind;
  };
  const Case cases[] = {
      {kArchive, 0, kNotAsked, EntryKind::kFile},
      {kArchive, kSymlink, kNotAsked, EntryKind::kFile},  // a tag means nothing without the attribute
      {kFolder, 0, kNotAsked, EntryKind::kFolder},
      {kWindowsAttributeDevice, 0, kNotAsked, EntryKind::kSkipped},
      {kFolder | kReparse, kJunction, kNotAsked, EntryKind::kSkipped},
      {kFolder | kReparse, kSymlink, kNotAsked, EntryKind::kSkipped},
      {kFolder | kReparse, 0, kNotAsked, EntryKind::kSkipped},  // Wine's links come without a tag
      {kFolder | kReparse, kCloud, kNotAsked, EntryKind::kFolder},
      {kFolder | kReparse, kCloud6, kNotAsked, EntryKind::kFolder},
      {kArchive | kReparse, kCloud, kNotAsked, EntryKind::kFile},
      {kArchive | kReparse, kDedup, kNotAsked, EntryKind::kFile},
      {kArchive | kReparse, kSymlink, kTargetFile, EntryKind::kFile},
      {kArchive | kReparse, kSymlink, kTargetMissing, EntryKind::kSkipped},
      {kArchive | kReparse, kWslSymlink, kTargetMissing, EntryKind::kSkipped},
  };
  for (const Case& entry : cases) {
    bool asked = false;
    const EntryKind kind = WindowsEntryKind(entry.attributes, entry.tag, [&] {
      asked = true;
      return entry.target == kTargetFile;
    });
    EXPECT_EQ(kind, entry.kind) << std::hex << entry.attributes << " " << entry.tag;
    EXPECT_EQ(asked, entry.target != kNotAsked) << std::hex << entry.attributes << " " << entry.tag;
  }
}

}  // namespace
}  // namespace telvarn::cli
