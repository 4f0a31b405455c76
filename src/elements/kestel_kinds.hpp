// The element table reader's state during one read, shared by its source
// files: the request, the working values, the results as far as they go,
// and the table being read. The per-kind item readers for file codes 3 to 6
// are entered with the table positioned at the item and J = 0; each fills
// the working values and stores TITLE, TJP and SIDAY as soon as it knows
// them, and returns 0 or the failure number IERR.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "elements/kelements.hpp"
#include "textio/textio.hpp"

namespace kest {

struct Reader {
  Reader(const TableSet& t, const ElementRequest& rq, const ReaderHooks& h)
      : tables(t), request(rq), hooks(h), w(rq.work), set(rq.start) {}

  const TableSet& tables;
  const ElementRequest& request;
  const ReaderHooks& hooks;
  ReaderWork w;
  ElementSet set;
  std::unique_ptr<LineSource> src;  // the table being read
  std::string line;                 // scratch line of the free-format reads
  std::string why;                  // why the table could not be opened

  // One free-format read of the next line(s) of the table.
  ReadStatus read(std::initializer_list<Item> items) {
    if (!src) return ReadStatus::end_of_file;
    return read_free_lines(*src, line, items.begin(), items.size());
  }
  // A progress line for whoever watches the read.
  void echo(std::initializer_list<Value> values) const {
    if (hooks.echo) hooks.echo(free_line(values));
  }
};

std::int32_t read_minor(Reader& r);
std::int32_t read_small(Reader& r);
std::int32_t read_comet(Reader& r);
std::int32_t read_exoplanet(Reader& r);

// Forget the working values kestel keeps between calls.
void reset_kestel_kept();

// Failure number for the outcome of an item-line read: 0, 7 (conversion
// error) or 6 (end of file).
inline std::int32_t value_failure(ReadStatus s) {
  return s == ReadStatus::ok ? 0 : s == ReadStatus::conversion_error ? 7 : 6;
}

}  // namespace kest
