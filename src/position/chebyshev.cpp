// A source's positions fitted by Chebyshev polynomials over segments of one
// length, each fitted the first time a date in it is asked for, or taken
// from a file of segments fitted ahead.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "position/kposition.hpp"

namespace kest {

namespace {

constexpr double PI = 3.14159265358979323846;
// Segments a cache keeps before it drops them all: about a megabyte,
// whatever the span a run covers.
constexpr std::size_t MAX_SEGMENTS = 1 << 11;

std::atomic<unsigned long long> next_id{1};

// The last segment each thread used, of the cache it belongs to: rows in
// date order find theirs without the lock.
struct LastUsed {
  unsigned long long cache = 0;
  long long index = 0;
  std::shared_ptr<const void> segment;
};
thread_local LastUsed last_used;

// A file of fitted segments: the magic text, then the degree, the first
// segment and the count (64-bit integers) and the segment length (a
// double), then each segment's coefficients (doubles) and the FNV-1a
// checksum of their bytes; all in the machine's own byte order.
constexpr char MAGIC[16] = {'k', 'e', 's', 't', ' ', 'p', 'o', 's', 'i', 't', 'i', 'o', 'n', 's', ' ', '1'};
struct Header {
  char magic[16];
  std::int64_t degree, first, count;
  double segment_days;
};

std::uint64_t checksum(const double* values, std::size_t n) {
  std::uint64_t h = 14695981039346656037ULL;
  const auto* bytes = reinterpret_cast<const unsigned char*>(values);
  for (std::size_t i = 0; i < n * sizeof(double); ++i) {
    h ^= bytes[i];
    h *= 1099511628211ULL;
  }
  return h;
}

}  // namespace

// The file of fitted segments, mapped read-only.
struct ChebyshevCache::Fitted {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
  Header header{};
  ~Fitted() {
    if (data) ::munmap(const_cast<unsigned char*>(data), size);
  }
  // Segment index's coefficients into out, when the file holds it and its
  // checksum is right.
  bool coefficients(long long index, std::size_t terms, std::vector<double>& out) const {
    if (index < header.first || index - header.first >= header.count) return false;
    const std::size_t stride = terms * sizeof(double) + sizeof(std::uint64_t);
    const std::size_t at = sizeof(Header) + static_cast<std::size_t>(index - header.first) * stride;
    out.resize(terms);
    std::uint64_t sum = 0;
    std::memcpy(out.data(), data + at, terms * sizeof(double));
    std::memcpy(&sum, data + at + terms * sizeof(double), sizeof sum);
    return checksum(out.data(), terms) == sum;
  }
};

ChebyshevCache::ChebyshevCache(std::shared_ptr<const PositionSource> series, double segment_days, int degree,
                               const std::filesystem::path& fitted)
    : series_(std::move(series)), length_(segment_days), degree_(degree), id_(next_id.fetch_add(1)) {
  if (fitted.empty() || degree < 0 || degree > 40) return;
  const int fd = ::open(fitted.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st {};
  auto f = std::make_unique<Fitted>();
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) >= sizeof(Header)) {
    void* m = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (m != MAP_FAILED) {
      f->data = static_cast<const unsigned char*>(m);
      f->size = static_cast<std::size_t>(st.st_size);
    }
  }
  ::close(fd);
  if (!f->data) return;
  std::memcpy(&f->header, f->data, sizeof(Header));
  const Header& h = f->header;
  const std::size_t terms = 3 * static_cast<std::size_t>(degree + 1);
  const std::size_t stride = terms * sizeof(double) + sizeof(std::uint64_t);
  // A file of another cache, or cut short, is not used at all.
  if (std::memcmp(h.magic, MAGIC, sizeof MAGIC) != 0 || h.degree != degree || h.segment_days != segment_days ||
      h.count < 0 || static_cast<std::uint64_t>(h.count) > (f->size - sizeof(Header)) / stride)
    return;
  fitted_ = std::move(f);
}

ChebyshevCache::~ChebyshevCache() = default;

long long ChebyshevCache::fitted_first() const { return fitted_ ? fitted_->header.first : 0; }
long long ChebyshevCache::fitted_count() const { return fitted_ ? fitted_->header.count : 0; }

std::vector<double> ChebyshevCache::fit_coefficients(long long index) const {
  const double start = static_cast<double>(index) * length_;
  const int n = degree_ + 1;
  const auto terms = static_cast<std::size_t>(n);
  std::vector<double> coef(3 * terms, 0.0);
  // The positions at the n Chebyshev nodes, the interval taken as [-1, 1].
  std::vector<Vec3> at(terms);
  for (int k = 0; k < n; ++k) {
    const double x = std::cos(PI * (k + 0.5) / n);
    const double days = start + 0.5 * length_ * (x + 1.0);
    Vec3& r = at[static_cast<std::size_t>(k)];
    // Past an end of the series: the end's position, so that the fit stays
    // finite; such dates are refused before they reach the segment.
    if (!series_->position(days, r)) series_->position(days < series_->first() ? series_->first() : series_->last(), r);
  }
  for (int j = 0; j < n; ++j) {
    for (int c = 0; c < 3; ++c) {
      double sum = 0.0;
      for (int k = 0; k < n; ++k) sum += at[static_cast<std::size_t>(k)](c + 1) * std::cos(PI * j * (k + 0.5) / n);
      coef[static_cast<std::size_t>(c) * terms + static_cast<std::size_t>(j)] = (j == 0 ? 1.0 : 2.0) * sum / n;
    }
  }
  return coef;
}

std::shared_ptr<const ChebyshevCache::Segment> ChebyshevCache::segment(long long index) const {
  auto s = std::make_shared<Segment>();
  s->start = static_cast<double>(index) * length_;
  const std::size_t terms = 3 * static_cast<std::size_t>(degree_ + 1);
  if (!fitted_ || !fitted_->coefficients(index, terms, s->coef)) s->coef = fit_coefficients(index);
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
      auto made = segment(index);
      const std::lock_guard<std::mutex> hold(lock_);
      if (segments_.size() >= MAX_SEGMENTS) segments_.clear();
      s = segments_.emplace(index, std::move(made)).first->second;
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

bool write_fitted_segments(const ChebyshevCache& cache, long long first, long long count,
                           const std::filesystem::path& file, std::string& error) {
  const std::filesystem::path part = file.string() + ".part";
  std::FILE* f = std::fopen(part.c_str(), "wb");
  if (!f) {
    error = "cannot write " + part.string() + ": " + std::strerror(errno);
    return false;
  }
  Header h{};
  std::memcpy(h.magic, MAGIC, sizeof MAGIC);
  h.degree = cache.degree();
  h.first = first;
  h.count = count;
  h.segment_days = cache.segment_days();
  bool ok = std::fwrite(&h, sizeof h, 1, f) == 1;
  for (long long i = first; ok && i < first + count; ++i) {
    const std::vector<double> coef = cache.fit_coefficients(i);
    const std::uint64_t sum = checksum(coef.data(), coef.size());
    ok = std::fwrite(coef.data(), sizeof(double), coef.size(), f) == coef.size() && std::fwrite(&sum, sizeof sum, 1, f) == 1;
  }
  if (std::fclose(f) != 0) ok = false;
  std::error_code ec;
  if (ok) std::filesystem::rename(part, file, ec);
  if (!ok || ec) {
    error = "cannot write " + file.string() + ": " + (ec ? ec.message() : std::string(std::strerror(errno)));
    std::filesystem::remove(part, ec);
    return false;
  }
  return true;
}

}  // namespace kest
