// A frame's palette: exact for frames of 256 colours or fewer; for more, the frequent flat
// colours kept exactly, every palette colour one of the frame's, every pixel drawn with its
// nearest palette colour (found here by brute force).
#include "film/frame_palette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace {

long squared_gap(uint32_t a, uint32_t b) {
  long d = 0;
  for (int shift : {0, 8, 16}) {
    const long e = static_cast<long>(a >> shift & 255) - static_cast<long>(b >> shift & 255);
    d += e * e;
  }
  return d;
}

// Seeded frames of up to 256 colours map every pixel to its own colour.
TEST(FramePalette, FewColoursAreExact) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 50; trial++) {
    const int colours = 1 + trial * 5 + (trial == 49 ? 10 : 0);  // 1 .. 256
    std::vector<uint32_t> chosen(colours);
    for (uint32_t& c : chosen) c = rng() & 0xffffff;
    std::vector<uint32_t> frame(4000);
    for (size_t k = 0; k < frame.size(); k++) frame[k] = chosen[k % colours];
    FramePalette palette;
    frame_palette(frame.data(), static_cast<long>(frame.size()), palette);
    const std::set<uint32_t> distinct(chosen.begin(), chosen.end());
    ASSERT_EQ(palette.size, static_cast<int>(distinct.size())) << "trial " << trial;
    for (uint32_t c : frame) ASSERT_EQ(palette.colours[palette_index(palette, c)], c);
  }
}

// A picture like the film's: a white ground, black lines and a red wall covering most pixels,
// and thousands of lit shades. The flat colours are kept exactly, there are 256 palette
// colours, each one of the frame's, and each pixel gets its nearest (by brute force).
TEST(FramePalette, ManyColoursKeepTheFlatOnesAndMapToTheNearest) {
  std::mt19937 rng(11);
  const uint32_t flat[3] = {0xffffff, 0x000000, 0xff3333};
  std::vector<uint32_t> frame;
  for (int k = 0; k < 60000; k++) frame.push_back(flat[k % 3]);
  std::uniform_int_distribution<int> shade(0, 255);
  for (int k = 0; k < 8000; k++) {
    const int v = shade(rng);
    frame.push_back(static_cast<uint32_t>(v / 3) << 16 | static_cast<uint32_t>(v) << 8 |
                    static_cast<uint32_t>(shade(rng)));
  }
  std::shuffle(frame.begin(), frame.end(), rng);
  FramePalette palette;
  frame_palette(frame.data(), static_cast<long>(frame.size()), palette);
  ASSERT_EQ(palette.size, kMaxPaletteColours);
  const std::set<uint32_t> inFrame(frame.begin(), frame.end());
  for (int p = 0; p < palette.size; p++) EXPECT_EQ(inFrame.count(palette.colours[p]), 1u);
  for (uint32_t c : flat) EXPECT_EQ(palette.colours[palette_index(palette, c)], c);
  for (uint32_t c : inFrame) {
    long nearest = squared_gap(c, palette.colours[0]);
    for (int p = 1; p < palette.size; p++)
      nearest = std::min(nearest, squared_gap(c, palette.colours[p]));
    ASSERT_EQ(squared_gap(c, palette.colours[palette_index(palette, c)]), nearest) << std::hex << c;
  }
}

}  // namespace
