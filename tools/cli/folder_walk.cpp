// The folder walk: depth first, each folder's entries sorted so that the paths come out
// in byte order.
#include "cli/folder_walk.h"

#include <algorithm>

namespace telvarn::cli {

bool FolderWalk::Next(std::string& path, std::string& error) {
  error.clear();
  if (!started_) {
    started_ = true;
    if (!Enter(root_, error)) {
      path = root_;
      return true;
    }
  }
  while (!levels_.empty()) {
    Level& level = levels_.back();
    if (level.next == level.entries.size()) {
      levels_.pop_back();
      continue;
    }
    const FolderEntry& entry = level.entries[level.next++];
    path = level.prefix + entry.name;
    if (entry.kind == EntryKind::kFile) return true;
    if (!Enter(path, error)) {
      path.pop_back();  // the '/' that sorted it
      return true;
    }
  }
  return false;
}

bool FolderWalk::Enter(const std::string& folder, std::string& error) {
  Level level;
  if (!ListFolder(folder, level.entries, error)) return false;
  level.entries.erase(std::remove_if(level.entries.begin(), level.entries.end(),
                                     [](const FolderEntry& entry) { return entry.kind == EntryKind::kSkipped; }),
                      level.entries.end());
  // Every path under a folder starts with its name and '/': sorted with that '/', a
  // folder's files fall exactly where the byte order of whole paths puts them
  // ("a b/x" < "a-b" < "a/x").
  for (FolderEntry& entry : level.entries) {
    if (entry.kind == EntryKind::kFolder) entry.name += '/';
  }
  std::sort(level.entries.begin(), level.entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  const char last = folder.empty() ? '/' : folder.back();
#if defined(_WIN32)
  const bool separated = last == '/' || last == '\\';
#else
  const bool separated = last == '/';
#endif
  level.prefix = separated ? folder : folder + "/";
  levels_.push_back(std::move(level));
  return true;
}

}  // namespace telvarn::cli
