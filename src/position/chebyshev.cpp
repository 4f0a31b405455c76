// A source's positions fitted by Chebyshev polynomials over segments of one
// length, each fitted the first time a date in it is asked for.

#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

#include "position/kposition.hpp"

namespace kest {

namespace {

constexpr double PI = 3.14159265358979323846;
// Segments a cache keeps before it drops them all: some thousands of
// kilobytes, whatever the span a run covers.
constexpr std::size_t MAX_SEGMENTS = 1 << 14;

std::atomic<unsigned long long> next_id{1};

// The last segment each thread used, of the cache it belongs to: rows in
// date order find theirs without the lock.
struct LastUsed {
  unsigned long long cache = 0;
  long long index = 0;
  std::shared_ptr<const void> segment;
};
thread_local LastUsed last_used;

}  // namespace

ChebyshevCache::ChebyshevCache(std::shared_ptr<const PositionSource> series, double segment_days, int degree)
    : series_(std::move(series)), length_(segment_days), degree_(degree), id_(next_id.fetch_add(1)) {}

std::shared_ptr<const ChebyshevCache::Segment> ChebyshevCache::fit(long long index) const {
  auto s = std::make_shared<Segment>();
  s->start = static_cast<double>(index) * length_;
  const int n = degree_ + 1;
  const auto terms = static_cast<std::size_t>(n);
  s->coef.assign(3 * terms, 0.0);
  // The states at the n Chebyshev nodes, the interval taken as [-1, 1].
  std::vector<Vec3> at(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    const double x = std::cos(PI * (k + 0.5) / n);
    const double days = s->start + 0.5 * length_ * (x + 1.0);
    Vec3& r = at[static_cast<std::size_t>(k)];
    // Past an end of the series: the end's position, so that the fit stays
    // finite; such dates are refused before they reach the segment.
    if (!series_->position(days, r)) series_->position(days < series_->first() ? series_->first() : series_->last(), r);
  }
  for (int j = 0; j < n; ++j) {
    for (int c = 0; c < 3; ++c) {
      double sum = 0.0;
      for (int k = 0; k < n; ++k) sum += at[static_cast<std::size_t>(k)](c + 1) * std::cos(PI * j * (k + 0.5) / n);
      s->coef[static_cast<std::size_t>(c) * terms + static_cast<std::size_t>(j)] = (j == 0 ? 1.0 : 2.0) * sum / n;
    }
  }
  return s;
}

bool ChebyshevCache::state(double days, StateVector& out) const {
  if (!covers(days)) return false;
  const auto index = static_cast<long long>(std::floor(days / length_));
  std::shared_ptr<const Segment> s;
  if (last_used.cache == id_ && last_used.index == index) {
    s = std::static_pointer_cast<const Segment>(last_used.segment);
  } else {
    {
      const std::lock_guard<std::mutex> hold(lock_);
      const auto it = segments_.find(index);
      if (it != segments_.end()) s = it->second;
    }
    if (!s) {
      // Fitted outside the lock; two threads that fit the same segment fit
      // the same numbers, and the first one kept wins.
      auto fitted = fit(index);
      const std::lock_guard<std::mutex> hold(lock_);
      if (segments_.size() >= MAX_SEGMENTS) segments_.clear();
      s = segments_.emplace(index, std::move(fitted)).first->second;
    }
    last_used = {id_, index, s};
  }
  // Clenshaw's recurrence for the value and the derivative.
  const int n = degree_ + 1;
  const double x = 2.0 * (days - s->start) / length_ - 1.0;
  const double* c = s->coef.data();
  for (int k = 0; k < 3; ++k, c += n) {
    double b1 = 0.0, b2 = 0.0, d1 = 0.0, d2 = 0.0;
    for (int j = n - 1; j >= 1; --j) {
      const double b = 2.0 * x * b1 - b2 + c[j];
      const double d = 2.0 * x * d1 - d2 + 2.0 * b1;
      b2 = b1;
      b1 = b;
      d2 = d1;
      d1 = d;
    }
    out.r(k + 1) = x * b1 - b2 + c[0];
    out.v(k + 1) = (x * d1 - d2 + b1) * (2.0 / length_);
  }
  return true;
}

}  // namespace kest
