// The progress line: a thread that redraws it every quarter second while an input is shown.
#include "cli/progress_line.h"

#include <cinttypes>
#include <cstdio>

#include "platform/platform.h"

namespace telvarn::cli {
namespace {

constexpr uint64_t kRedrawMs = 250;

std::string Bytes(double count) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
  size_t unit = 0;
  while (count >= 1024 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
    count /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", count, kUnits[unit]);
  return text;
}

}  // namespace

ProgressLine::ProgressLine(OutputStream& err, bool enabled) : err_(err), enabled_(enabled) {
  if (enabled_) thread_ = std::thread([this] { Run(); });
}

ProgressLine::~ProgressLine() {
  if (!enabled_) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    Erase();
  }
  wake_.notify_all();
  thread_.join();
}

std::string ProgressLine::Format(const std::string& name, uint64_t done, int64_t total, double seconds) {
  std::string line = name + ": " + Bytes(static_cast<double>(done));
  if (total >= 0) {
    const uint64_t percent = total == 0 ? 100 : done * 100 / static_cast<uint64_t>(total);
    line += " of " + Bytes(static_cast<double>(total)) + " (" + std::to_string(percent) + "%)";
  }
  if (seconds > 0) line += ", " + Bytes(static_cast<double>(done) / seconds) + "/s";
  return line;
}

void ProgressLine::Show(const std::string& name, ProgressSource source) {
  if (!enabled_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  name_ = name;
  source_ = std::move(source);
  shown_since_ms_ = platform::Os::monotonic_ms();
  showing_ = true;
}

void ProgressLine::Hide() {
  if (!enabled_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  showing_ = false;
  Erase();
}

void ProgressLine::Resume() {
  if (!enabled_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  showing_ = source_ != nullptr;
}

void ProgressLine::Clear() {
  if (!enabled_) return;
  std::unique_lock<std::mutex> lock(mutex_);
  showing_ = false;
  source_ = nullptr;
  Erase();
  // The caller may destroy what the source reads once this returns.
  asked_.wait(lock, [this] { return !asking_; });
}

// Called with the lock held.
void ProgressLine::Erase() {
  if (drawn_length_ == 0) return;
  err_.Write("\r" + std::string(drawn_length_, ' ') + "\r");
  err_.Flush();
  drawn_length_ = 0;
}

// Called with the lock held.
void ProgressLine::Draw(const std::string& name, uint64_t done, int64_t total) {
  const double seconds = static_cast<double>(platform::Os::monotonic_ms() - shown_since_ms_) / 1000.0;
  const std::string line = Format(name, done, total, seconds);
  // Blanks over what a longer line before left on the screen.
  const size_t padding = line.size() < drawn_length_ ? drawn_length_ - line.size() : 0;
  err_.Write("\r" + line + std::string(padding, ' '));
  err_.Flush();
  drawn_length_ = line.size() + padding;
}

void ProgressLine::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, std::chrono::milliseconds(kRedrawMs));
    if (stopping_ || !showing_ || !source_) continue;
    const ProgressSource source = source_;
    std::string name = name_;
    uint64_t done = 0;
    int64_t total = -1;
    asking_ = true;
    lock.unlock();
    const bool answered = source(done, total, name);
    lock.lock();
    asking_ = false;
    asked_.notify_all();
    // Hidden meanwhile, the line stays hidden; resumed, it shows this answer.
    if (answered && showing_ && !stopping_) Draw(name, done, total);
  }
}

}  // namespace telvarn::cli
