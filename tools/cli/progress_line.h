// The --progress line on standard error: bytes done, the total where known, and the
// rate, redrawn a few times a second by a thread of its own and erased at the end.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "cli/system.h"

namespace telvarn::cli {

// What the line shows: bytes done so far and in all (-1 when unknown), and the name,
// which comes in as the one given to Show() and may be changed. False when there is
// nothing to show at the moment.
using ProgressSource = std::function<bool(uint64_t& done, int64_t& total, std::string& name)>;

// Draws nothing unless made enabled. Show(), Hide(), Resume() and Clear() come from
// one thread (the program's); the line's thread asks the source outside its lock,
// since a source may take its time, and draws under the lock that Hide() takes, so
// that after Hide() returns the program may write its own lines at once.
class ProgressLine {
 public:
  ProgressLine(OutputStream& err, bool enabled);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  bool enabled() const { return enabled_; }
  // Shows the progress of one input until Hide(); the rate counts from here.
  void Show(const std::string& name, ProgressSource source);
  // Erases the line and stops drawing it; Resume() draws it again from the same
  // source, its rate still counted from Show().
  void Hide();
  void Resume();
  // Erases the line and lets go of its source, which is never asked again.
  void Clear();

  // The text of one line, without its erasure: "NAME: 1.5 GiB of 4.0 GiB (37%), 812 MiB/s".
  static std::string Format(const std::string& name, uint64_t done, int64_t total, double seconds);

 private:
  void Draw(const std::string& name, uint64_t done, int64_t total);
  void Erase();
  void Run();

  OutputStream& err_;
  const bool enabled_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable asked_;  // the source's answer came back
  bool stopping_ = false;
  bool showing_ = false;
  bool asking_ = false;  // the line's thread is in the source
  std::string name_;
  ProgressSource source_;
  uint64_t shown_since_ms_ = 0;
  size_t drawn_length_ = 0;  // characters on the line now
  std::thread thread_;
};

}  // namespace telvarn::cli
