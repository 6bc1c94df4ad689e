// Writes the benchmark archive: about 10,000 surfaces, 60 % of them textured, in a
// portal archive of a few hundred MB with 1024-byte blocks, as a game client's archive looks
// after years of updates.
//
//   make_bench_archive OUT.dat [SURFACES]
//
// Contents, all drawn from fixed seeds so the file is the same on every run:
//  - solid surfaces with random colours;
//  - textured surfaces, each with its own SurfaceTexture listing 3 or 4 mips, smallest
//    first, every mip stored as a file; the last (full-size) mip is the one huemark decodes.
//    Full-size textures are mostly 128x128 and 256x256: DXT1 and DXT5 for most, some DXT3,
//    P8 with one of 40 palettes (some surfaces name another palette), R8G8B8 and A8R8G8B8;
//  - about 3 % of all files stored LRS-compressed;
//  - a directory three levels deep (61 entries per node).
// Layout: the files' chains lie in shuffled order across the archive, and about one file in
// ten with four or more blocks is split into two or three runs in different places; within
// a run the blocks are consecutive, which is how most chains of a real archive are stored.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "archive_writer.h"
#include "bench_content.h"
#include "lrs_compressor.h"
#include "record_writer.h"

namespace {

using bench::TextureKind;
using dat::Bytes;
using dat::testing::Random;
namespace writer = dat::testing;

constexpr std::uint32_t kBlockSize = 1024;
constexpr std::uint32_t kPayload = kBlockSize - 4;
constexpr std::uint32_t kPaletteCount = 40;

// The files to store, before they are laid out: id to stored bytes and whether those are
// LRS-compressed. Kept apart from the builder so the layout can be planned from their sizes.
class FileSet {
 public:
  explicit FileSet(Random& random) : random_(random) {}

  void add(std::uint32_t id, Bytes data) {
    const bool compressed = random_.below(100) < 3;
    files_.emplace(id, File{compressed ? writer::compress_lrs(data) : std::move(data), compressed});
  }

  struct File {
    Bytes stored;
    bool compressed;
  };
  [[nodiscard]] const std::map<std::uint32_t, File>& files() const { return files_; }
  [[nodiscard]] std::map<std::uint32_t, File>& files() { return files_; }

 private:
  Random& random_;
  std::map<std::uint32_t, File> files_;
};

TextureKind pick_kind(Random& random) {
  const std::uint32_t r = random.below(100);
  if (r < 38) return TextureKind::Dxt1;
  if (r < 72) return TextureKind::Dxt5;
  if (r < 77) return TextureKind::Dxt3;
  if (r < 87) return TextureKind::P8;
  if (r < 93) return TextureKind::R8G8B8;
  return TextureKind::A8R8G8B8;
}

std::uint32_t pick_size(Random& random) {
  const std::uint32_t r = random.below(100);
  return r < 55 ? 128 : r < 95 ? 256 : 64;
}

// Block order for the builder: the blocks of all chains numbered as the builder numbers
// them (node chains first, then the files in id order, each chain's blocks in order), cut
// into runs and shuffled run by run.
std::vector<std::size_t> plan_layout(std::size_t node_count, const FileSet& files, Random& random) {
  std::vector<std::vector<std::size_t>> runs;
  std::size_t next = 0;
  const auto chain = [&](std::size_t blocks) {
    std::vector<std::size_t> numbers(blocks);
    for (std::size_t& n : numbers) n = next++;
    return numbers;
  };
  const std::size_t node_blocks = (writer::kNodeSize + kPayload - 1) / kPayload;
  for (std::size_t i = 0; i < node_count; ++i) runs.push_back(chain(node_blocks));
  for (const auto& [id, file] : files.files()) {
    const std::size_t blocks = std::max<std::size_t>(1, (file.stored.size() + kPayload - 1) / kPayload);
    std::vector<std::size_t> numbers = chain(blocks);
    if (blocks < 4 || random.below(10) != 0) {
      runs.push_back(std::move(numbers));
      continue;
    }
    // Two or three pieces, cut at distinct block boundaries.
    std::vector<std::size_t> cuts;
    const std::size_t pieces = 2 + random.below(2);
    while (cuts.size() + 1 < pieces) {
      const std::size_t cut = 1 + random.below(static_cast<std::uint32_t>(blocks - 1));
      if (std::find(cuts.begin(), cuts.end(), cut) == cuts.end()) cuts.push_back(cut);
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.push_back(blocks);
    std::size_t from = 0;
    for (const std::size_t to : cuts) {
      runs.emplace_back(numbers.begin() + static_cast<std::ptrdiff_t>(from),
                        numbers.begin() + static_cast<std::ptrdiff_t>(to));
      from = to;
    }
  }
  for (std::size_t i = runs.size() - 1; i > 0; --i) {
    std::swap(runs[i], runs[random.below(static_cast<std::uint32_t>(i + 1))]);
  }
  std::vector<std::size_t> order;
  order.reserve(next);
  for (const auto& run : runs) order.insert(order.end(), run.begin(), run.end());
  return order;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: make_bench_archive OUT.dat [SURFACES]\n");
    return 2;
  }
  const std::uint32_t surface_count =
      argc == 3 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 10000;

  Random random(0x68756D61726BULL);
  FileSet files(random);

  std::vector<std::uint32_t> palette_ids;
  for (std::uint32_t p = 0; p < kPaletteCount; ++p) {
    const std::uint32_t id = 0x04000001 + p;
    files.add(id, writer::palette(id, bench::palette_colours(random)));
    palette_ids.push_back(id);
  }

  std::uint32_t next_texture = 0x06000001;
  std::uint32_t next_mips = 0x05000001;
  std::size_t textured = 0;
  for (std::uint32_t s = 0; s < surface_count; ++s) {
    const std::uint32_t surface_id = 0x08000001 + s;
    if (random.below(100) >= 60) {
      const std::uint32_t colour = 0xFF000000u | static_cast<std::uint32_t>(random.next() & 0xFFFFFF);
      files.add(surface_id, writer::solid_surface(colour));
      continue;
    }
    ++textured;
    const TextureKind kind = pick_kind(random);
    const std::uint32_t size = pick_size(random);
    const std::uint32_t mip_count = 3 + random.below(2);
    const bool palettised = kind == TextureKind::P8;
    const std::uint32_t own_palette = palette_ids[random.below(kPaletteCount)];

    std::vector<std::uint32_t> mip_ids;
    for (std::uint32_t level = mip_count; level-- > 0;) {
      const std::uint32_t side = size >> level;
      const std::uint32_t id = next_texture++;
      const Bytes pixels = bench::texture_pixels(kind, side, side, random);
      files.add(
          id, writer::texture(id, static_cast<std::int32_t>(side), static_cast<std::int32_t>(side),
                              bench::format_raw(kind), pixels, palettised ? std::optional(own_palette) : std::nullopt));
      mip_ids.push_back(id);
    }
    const std::uint32_t mips_id = next_mips++;
    files.add(mips_id, writer::surface_texture(mips_id, mip_ids));
    const std::uint32_t surface_palette =
        palettised && random.below(10) < 3 ? palette_ids[random.below(kPaletteCount)] : 0;
    files.add(surface_id, writer::textured_surface(mips_id, surface_palette));
  }

  // The builder numbers blocks node chains first, so the layout needs the node count: a
  // twin archive with the same ids and empty files has the same directory.
  writer::ArchiveBuilder twin({.block_size = 4});
  for (const auto& [id, file] : files.files()) twin.add_file(id, {});
  const std::size_t node_count = twin.build_image().nodes.size();

  writer::ArchiveBuilder builder(
      {.block_size = kBlockSize, .placement = {.order = plan_layout(node_count, files, random)}});
  std::size_t compressed = 0;
  const std::size_t file_count = files.files().size();
  for (auto& [id, file] : files.files()) {
    compressed += file.compressed ? 1 : 0;
    // Already compressed here, so the layout could count its blocks: bit 0 alone marks it.
    builder.add_file(id, std::move(file.stored),
                     {.extra_flags = file.compressed ? dat::DatFileEntry::kCompressedFlag : 0u});
  }
  const Bytes image = builder.build();
  if (auto written = writer::write_bytes(argv[1], image); !written) {
    std::fprintf(stderr, "make_bench_archive: %s\n", written.error().c_str());
    return 1;
  }
  std::printf("%s", fmt::format("{}: {} surfaces ({} textured), {} files ({} compressed), {} directory nodes, "
                                "{:.1f} MB\n",
                                argv[1], surface_count, textured, file_count, compressed, node_count,
                                static_cast<double>(image.size()) / 1e6)
                        .c_str());
  return 0;
}
