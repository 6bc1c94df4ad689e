#include "huemark/run.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <fmt/format.h>

#include "huemark/colour_map_writer.h"
#include "huemark/run_error.h"
#include "huemark/surface_colour.h"
#include "lib/dat_database.h"
#include "utils/lossy_utf8.h"

namespace huemark {
namespace {

constexpr std::uint32_t kTypeMask = 0xFF000000;
constexpr std::uint32_t kSurfaceType = 0x08000000;

// The report ends in a line feed already; the sink adds its own.
void report(const StatusSink& status, const RunError& error) {
  std::string text = format_report(error);
  text.pop_back();
  status(text);
}

std::vector<std::uint32_t> sorted_surface_ids(const dat::DatDatabase& db) {
  std::vector<std::uint32_t> ids;
  for (const auto& [id, entry] : db.files()) {
    if ((id & kTypeMask) == kSurfaceType) ids.push_back(id);
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

}  // namespace

std::string progress_line(const Progress& p) {
  return fmt::format("  [{:>5}/{:>5}] ok={} (solid={} textured={}) err={}", p.done, p.n, p.resolved, p.solid,
                     p.textured, p.errors);
}

std::uint64_t progress_step(std::uint64_t n) { return std::max<std::uint64_t>(1, n / 20); }

int run(const Cli& cli, const StatusSink& status) {
  auto db = dat::DatDatabase::open(cli.portal_dat);
  if (!db) {
    RunError error{fmt::format("open {}", dat::lossy_utf8(cli.portal_dat.native())), {db.error().text()}};
    for (std::string& cause : db.error().causes()) error.causes.push_back(std::move(cause));
    report(status, error);
    return 1;
  }

  const std::vector<std::uint32_t> ids = sorted_surface_ids(*db);
  const std::uint64_t found = ids.size();
  const std::uint64_t n = cli.limit == 0 ? found : std::min<std::uint64_t>(found, cli.limit);
  status(fmt::format("huemark: found {} surfaces in portal DAT; processing {}", found, n));

  ColourMap colours;
  Progress counts{.n = n};
  const std::uint64_t step = progress_step(n);
  for (std::uint64_t i = 0; i < n; ++i) {
    if (i != 0 && i % step == 0) {
      counts.done = i;
      counts.resolved = colours.size();
      status(progress_line(counts));
    }
    const std::uint32_t id = ids[i];
    auto resolved = resolve_surface(*db, id);
    if (!resolved) {
      ++counts.errors;
      continue;
    }
    colours.insert_or_assign(id, resolved->colour);
    switch (resolved->source) {
      case ColourSource::Solid:
        ++counts.solid;
        break;
      case ColourSource::Textured:
        ++counts.textured;
        break;
    }
  }
  status(fmt::format("done. resolved={} (solid={} textured={}) errors={}", colours.size(), counts.solid,
                     counts.textured, counts.errors));

  if (auto written = write_colour_map(colours, cli.out, status); !written) {
    report(status, written.error());
    return 1;
  }
  return 0;
}

}  // namespace huemark
