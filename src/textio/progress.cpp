// Progress of long work on standard error.

#include <unistd.h>

#include <string>
#include <utility>

#include "textio/textio.hpp"

namespace kest {

ProgressLine::ProgressLine(std::string lead, std::string items, long long total)
    : lead_(std::move(lead)), items_(std::move(items)), total_(total), on_(total > 1000000 && ::isatty(2) == 1) {}

void ProgressLine::at(long long done) {
  if (!on_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < std::chrono::seconds(1)) return;
  last_ = now;
  const double secs = std::chrono::duration<double>(now - start_).count();
  const double rate = secs > 0.0 ? static_cast<double>(done) / secs : 0.0;
  const double left = rate > 0.0 ? static_cast<double>(total_ - done) / rate : 0.0;
  say("\r" + lead_ + " " + std::to_string(done) + " of " + std::to_string(total_) + ", " +
      std::to_string(static_cast<long long>(rate)) + " " + items_ + "/s, " +
      std::to_string(static_cast<long long>(left)) + " s left   ");
  shown_ = true;
}

ProgressLine::~ProgressLine() {
  if (shown_) say("\n");
}

void ProgressLine::say(const std::string& text) {
  [[maybe_unused]] const ssize_t r = ::write(2, text.data(), text.size());
}

}  // namespace kest
