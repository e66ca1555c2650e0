// The walk of a folder's tree for -r: its files in the byte order of their paths.
#pragma once

#include <string>
#include <vector>

#include "cli/system.h"

namespace telvarn::cli {

// Yields the files under a folder (regular files and links to them) in the byte order
// of the paths it yields, as `LC_ALL=C sort` orders them, holding one listing per
// level of the tree at a time. Links to folders are not entered.
class FolderWalk {
 public:
  explicit FolderWalk(std::string root) : root_(std::move(root)) {}

  // The next file's path with `error` empty, or a folder that cannot be read with
  // the reason in `error`; false at the end.
  bool Next(std::string& path, std::string& error);

 private:
  struct Level {
    std::string prefix;               // the folder's path and a separator
    std::vector<FolderEntry> entries;  // sorted; a folder's name ends in '/'
    size_t next = 0;
  };
  bool Enter(const std::string& folder, std::string& error);

  std::string root_;
  bool started_ = false;
  std::vector<Level> levels_;
};

}  // namespace telvarn::cli
