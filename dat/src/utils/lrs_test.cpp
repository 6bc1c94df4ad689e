#include "utils/lrs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lrs_compressor.h"

namespace dat {
namespace {

Bytes bytes(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// A small deterministic generator, so the data sets are the same on every run.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    state_ = state_ * 6364136223846793005u + 1442695040888963407u;
    return state_ >> 33;
  }
  std::uint8_t byte() { return static_cast<std::uint8_t>(next()); }
  Bytes bytes(std::size_t n) {
    Bytes out(n);
    for (auto& b : out) b = byte();
    return out;
  }

 private:
  std::uint64_t state_;
};

// Builds a stream item by item, opening a new flag byte before every eighth item.
class Stream {
 public:
  explicit Stream(std::uint32_t announced) {
    for (int i = 0; i < 4; ++i) out_.push_back(static_cast<std::uint8_t>(announced >> (8 * i)));
  }
  void literal(std::uint8_t byte) {
    open_item(false);
    out_.push_back(byte);
  }
  void reference(std::uint8_t b0, std::uint8_t b1) {
    open_item(true);
    out_.push_back(b0);
    out_.push_back(b1);
  }
  [[nodiscard]] const Bytes& bytes() const { return out_; }

 private:
  void open_item(bool reference) {
    if (items_ % 8 == 0) {
      flags_at_ = out_.size();
      out_.push_back(0);
    }
    if (reference) out_[flags_at_] = static_cast<std::uint8_t>(out_[flags_at_] | (0x80u >> (items_ % 8)));
    ++items_;
  }

  Bytes out_;
  std::size_t flags_at_ = 0;
  std::size_t items_ = 0;
};

struct DecodeCase {
  const char* name;
  Bytes input;
  Bytes expected;
};

// Expected outputs worked out by hand from the stream layout: u32 announced size, then a
// flag byte read from bit 7 down, literals for clear bits, (b0, b1) references for set bits
// with distance b0 + 256 * (b1 >> 4) and length (b1 & 15) + 2.
const std::vector<DecodeCase> kDecodeCases = {
    {"EmptyInput", {}, {}},
    {"OneByteComesBackUnchanged", bytes({0x41}), bytes({0x41})},
    {"ThreeBytesComeBackUnchanged", bytes({1, 2, 3}), bytes({1, 2, 3})},
    {"ZeroAnnouncedSize", bytes({0, 0, 0, 0, 0x00, 0x61, 0x62}), {}},
    {"SizePrefixAlone", bytes({0xFF, 0, 0, 0}), {}},
    {"LoneFlagByte", bytes({5, 0, 0, 0, 0x80}), {}},
    {"Literals", bytes({3, 0, 0, 0, 0x00, 'a', 'b', 'c'}), text("abc")},
    {"BytesAfterTheAnnouncedSizeAreIgnored", bytes({2, 0, 0, 0, 0x00, 'a', 'b', 'c', 'd'}), text("ab")},
    {"BackReference", bytes({6, 0, 0, 0, 0x10, 'a', 'b', 'c', 0x03, 0x01}), text("abcabc")},
    {"ShortestBackReference", bytes({4, 0, 0, 0, 0x20, 'a', 'b', 0x02, 0x00}), text("abab")},
    {"OverlappingBackReference", bytes({5, 0, 0, 0, 0x40, 'a', 0x01, 0x02}), text("aaaaa")},
    {"LongestBackReference", bytes({18, 0, 0, 0, 0x40, 'a', 0x01, 0x0F}), Bytes(18, 'a')},
    {"BackReferenceStopsAtAnnouncedSize", bytes({3, 0, 0, 0, 0x40, 'a', 0x01, 0x0F, 'z'}), text("aaa")},
    {"ZeroDistanceEndsTheStream", bytes({9, 0, 0, 0, 0x20, 'a', 'b', 0x00, 0x00, 'c'}), text("ab")},
    {"ZeroDistanceWithALengthEndsTheStream", bytes({9, 0, 0, 0, 0x20, 'a', 'b', 0x00, 0x0F, 'c'}), text("ab")},
    {"DistanceBeyondOutputCopiesFromTheStart", bytes({5, 0, 0, 0, 0x20, 'a', 'b', 0x05, 0x01}), text("abaaa")},
    {"StreamEndsEarly", bytes({10, 0, 0, 0, 0x00, 'a', 'b'}), text("ab")},
    {"BackReferenceMissingItsSecondByte", bytes({5, 0, 0, 0, 0x40, 'a', 0x01}), text("a")},
    {"FlagByteAsLastByteEndsDecoding",
     bytes({16, 0, 0, 0, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x7F}), text("abcdefgh")},
    {"SecondGroupContinues",
     bytes({10, 0, 0, 0, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x80, 0x08, 0x00, 'i'}),
     text("abcdefghab")},
    // Nothing to copy from yet: decoding stops, as it does at every other malformed end.
    {"BackReferenceIntoEmptyOutput", bytes({5, 0, 0, 0, 0x80, 0x01, 0x00, 'a'}), {}},
    // The announced size is only an upper limit; the stream decides.
    {"HugeAnnouncedSize", bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 'a', 'b', 'c'}), text("abc")},
};

class LrsDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(LrsDecode, GivesTheExpectedBytes) {
  const Bytes out = decompress_lrs(GetParam().input);
  EXPECT_EQ(out, GetParam().expected);
  // Never more storage than the stream could fill: 8.5 bytes per stream byte at most.
  const std::size_t stream = GetParam().input.size() > 4 ? GetParam().input.size() - 4 : 0;
  EXPECT_LE(out.capacity(), std::max(GetParam().input.size(), stream * 17 / 2 + 1));
}

INSTANTIATE_TEST_SUITE_P(Cases, LrsDecode, ::testing::ValuesIn(kDecodeCases),
                         [](const ::testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

// The 12-bit distance takes bits 8 to 11 from b1's high nibble, up to 4095.
TEST(LrsDecode, DistancesUseTheHighNibble) {
  for (const std::size_t distance : {std::size_t{0x12C}, std::size_t{0xFFF}}) {
    SCOPED_TRACE(distance);
    const Bytes head = Random(distance).bytes(distance);
    Bytes expected = head;
    expected.insert(expected.end(), head.begin(), head.begin() + 17);

    Stream stream(static_cast<std::uint32_t>(expected.size()));
    for (const std::uint8_t b : head) stream.literal(b);
    stream.reference(static_cast<std::uint8_t>(distance & 0xFF),
                     static_cast<std::uint8_t>(((distance >> 8) << 4) | 0x0F));
    EXPECT_EQ(decompress_lrs(stream.bytes()), expected);
  }
}

// A literal and then back-references of length 17 expand the stream more than 8 times; the
// output's storage follows what the stream can make, not the absurd announced size.
TEST(LrsDecode, AbsurdAnnouncedSizeReservesOnlyWhatTheStreamCanMake) {
  Stream stream(0xFFFFFFFF);
  stream.literal('a');
  for (int i = 0; i < 15; ++i) stream.reference(0x01, 0x0F);
  const Bytes input = stream.bytes();

  const Bytes out = decompress_lrs(input);
  EXPECT_EQ(out, Bytes(1 + 15 * 17, 'a'));
  EXPECT_LE(out.capacity(), (input.size() - 4) * 17 / 2 + 1);
}

// A direct transcription of the decoding steps, kept naive on purpose: one mask shifted
// per item and the end tests in the order the steps make them. A back-reference into an
// empty output, which the steps leave open, stops decoding.
Bytes decode_step_by_step(ByteView data) {
  if (data.size() < 4) return Bytes(data.begin(), data.end());
  const std::uint32_t announced = load_u32le(data.data());
  if (announced == 0) return {};
  const ByteView stream = data.subspan(4);
  Bytes out;
  if (stream.empty()) return out;
  std::size_t pos = 0;
  unsigned mask = 0;
  std::uint8_t flags = 0;
  while (true) {
    if (mask == 0) {
      flags = stream[pos++];
      mask = 0x80;
      if (pos == stream.size()) return out;
    }
    if ((flags & mask) != 0) {
      if (stream.size() - pos < 2) return out;
      const std::size_t distance = stream[pos] + 256u * (stream[pos + 1] >> 4);
      const std::size_t length = (stream[pos + 1] & 0x0Fu) + 2u;
      if (distance == 0) return out;
      pos += 2;
      for (std::size_t i = 0; i < length; ++i) {
        if (out.size() == announced) break;
        if (out.empty()) return out;
        const std::uint8_t byte = out[out.size() >= distance ? out.size() - distance : 0];
        out.push_back(byte);
      }
      if (out.size() == announced) return out;
    } else {
      out.push_back(stream[pos++]);
      if (out.size() == announced) return out;
    }
    mask >>= 1;
    if (pos == stream.size()) return out;
  }
}

TEST(LrsDecode, MatchesTheStepByStepDecodingOnRandomInput) {
  Random random(12);
  for (int round = 0; round < 20'000; ++round) {
    // Mostly short streams, whose ends come early; one in four long enough for whole
    // groups with room to spare.
    Bytes input(round % 4 == 0 ? random.next() % 700 : random.next() % 48);
    // Half the bytes small, so back-references often reach into the output and distance 0
    // (the end marker) turns up.
    for (auto& b : input) b = random.next() % 2 == 0 ? static_cast<std::uint8_t>(random.next() % 8) : random.byte();
    if (input.size() >= 4) {
      const std::uint64_t announced =
          random.next() % 8 == 0 ? random.next() : random.next() % (input.size() < 48 ? 80 : 5000);
      for (int i = 0; i < 4; ++i) input[i] = static_cast<std::uint8_t>(announced >> (8 * i));
    }
    ASSERT_EQ(decompress_lrs(input), decode_step_by_step(input)) << "round " << round;
  }
}

struct RoundTripCase {
  const char* name;
  std::function<Bytes()> make;
  // Compressed size may be at most this fraction of the input (plus the 4-byte prefix and
  // one flag byte), so a compressor that stops finding matches is noticed.
  double max_ratio;
};

Bytes repeated(std::size_t period, std::size_t total, std::uint64_t seed) {
  const Bytes unit = Random(seed).bytes(period);
  Bytes out;
  while (out.size() < total) {
    const std::size_t take = std::min(period, total - out.size());
    out.insert(out.end(), unit.begin(), unit.begin() + static_cast<std::ptrdiff_t>(take));
  }
  return out;
}

Bytes runs(std::size_t total, std::uint64_t seed) {
  Random random(seed);
  Bytes out;
  while (out.size() < total) {
    const std::size_t length = std::min<std::size_t>(1 + random.next() % 40, total - out.size());
    out.insert(out.end(), length, random.byte());
  }
  return out;
}

Bytes words(std::size_t total, std::uint64_t seed) {
  static const char* const kWords[] = {"surface ", "texture ", "palette ", "colour ",
                                       "dominant ", "the ",     "a ",       "of "};
  Random random(seed);
  Bytes out;
  while (out.size() < total) {
    const std::string_view word = kWords[random.next() % std::size(kWords)];
    out.insert(out.end(), word.begin(), word.end());
  }
  out.resize(total);
  return out;
}

// Every kind of data in turn, so matches of all lengths and distances meet literal stretches.
Bytes mixed(std::size_t total, std::uint64_t seed) {
  Random random(seed);
  Bytes out;
  while (out.size() < total) {
    const std::size_t piece = 1 + random.next() % 5000;
    Bytes part;
    switch (random.next() % 4) {
      case 0: part = random.bytes(piece); break;
      case 1: part = runs(piece, random.next()); break;
      case 2: part = words(piece, random.next()); break;
      case 3: part = repeated(1 + random.next() % 4200, piece, random.next()); break;
    }
    out.insert(out.end(), part.begin(), part.end());
  }
  out.resize(total);
  return out;
}

const std::vector<RoundTripCase> kRoundTripCases = {
    {"Empty", [] { return Bytes{}; }, 0.0},
    {"OneByte", [] { return Bytes{0x42}; }, 1.0},
    {"RandomSmall", [] { return Random(1).bytes(100); }, 1.13},
    {"Random100K", [] { return Random(2).bytes(100'000); }, 1.13},
    {"ZeroRun100K", [] { return Bytes(100'000, 0); }, 0.13},
    {"ShortRuns", [] { return runs(50'000, 3); }, 0.5},
    {"Words", [] { return words(80'000, 4); }, 0.5},
    {"RepeatAtDistance4094", [] { return repeated(4094, 60'000, 5); }, 0.25},
    {"RepeatAtDistance4095", [] { return repeated(4095, 60'000, 6); }, 0.25},
    // One past the farthest reach: nothing but literals would be safe here.
    {"RepeatAtDistance4096", [] { return repeated(4096, 60'000, 7); }, 1.13},
    {"PeriodTwo", [] { return repeated(2, 10'000, 8); }, 0.13},
    {"OneMegabyteMixed", [] { return mixed(1 << 20, 9); }, 1.0},
};

class LrsRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(LrsRoundTrip, DecompressesToTheInput) {
  const Bytes plain = GetParam().make();
  const Bytes packed = testing::compress_lrs(plain);
  ASSERT_GE(packed.size(), 4u);
  EXPECT_EQ(load_u32le(packed.data()), plain.size());
  EXPECT_LE(packed.size(), 5 + GetParam().max_ratio * static_cast<double>(plain.size()));

  const Bytes out = decompress_lrs(packed);
  ASSERT_EQ(out.size(), plain.size());
  EXPECT_TRUE(out == plain);
  // Reserved once at the announced size and never grown.
  EXPECT_EQ(out.capacity(), plain.size());
}

INSTANTIATE_TEST_SUITE_P(Data, LrsRoundTrip, ::testing::ValuesIn(kRoundTripCases),
                         [](const ::testing::TestParamInfo<RoundTripCase>& info) { return info.param.name; });

// Every size from 0 up, over a small alphabet so references of every length and group
// boundaries at every item position occur.
TEST(LrsRoundTrip, EverySmallSize) {
  Random random(10);
  for (std::size_t size = 0; size <= 600; ++size) {
    Bytes plain(size);
    for (auto& b : plain) b = static_cast<std::uint8_t>('a' + random.next() % 3);
    ASSERT_EQ(decompress_lrs(testing::compress_lrs(plain)), plain) << "size " << size;
  }
}

// Cutting a valid stream anywhere, or announcing less, yields a prefix of the data: decoding
// stops cleanly at every possible end and never reads past the input.
TEST(LrsRoundTrip, CutStreamsAndSmallerSizesGivePrefixes) {
  const Bytes plain = mixed(3000, 11);
  const Bytes packed = testing::compress_lrs(plain);
  for (std::size_t cut = 4; cut <= packed.size(); ++cut) {
    const Bytes out = decompress_lrs(ByteView(packed).first(cut));
    ASSERT_LE(out.size(), plain.size());
    ASSERT_TRUE(std::equal(out.begin(), out.end(), plain.begin())) << "cut at " << cut;
  }
  for (std::uint32_t announced = 1; announced <= plain.size(); announced += 7) {
    Bytes shorter = packed;
    for (int i = 0; i < 4; ++i) shorter[i] = static_cast<std::uint8_t>(announced >> (8 * i));
    ASSERT_EQ(decompress_lrs(shorter), Bytes(plain.begin(), plain.begin() + announced)) << "announced " << announced;
  }
}

}  // namespace
}  // namespace dat
