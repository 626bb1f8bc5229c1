#include "film/frame_palette.h"

#include <algorithm>

namespace {

struct ColourCount {
  uint32_t colour;
  long count;
};

int channel(uint32_t colour, int c) {
  return static_cast<int>(colour >> (16 - 8 * c) & 255);
}

// A part of the median cut: the colours [begin, end) of the weighted list.
struct Box {
  size_t begin, end;
};

// The channel (0 red, 1 green, 2 blue) over which the box's colours spread most, and the spread.
int widest_channel(const std::vector<ColourCount>& colours, const Box& box, int& spread) {
  int best = 0;
  spread = -1;
  for (int c = 0; c < 3; c++) {
    int lo = 255, hi = 0;
    for (size_t k = box.begin; k < box.end; k++) {
      lo = std::min(lo, channel(colours[k].colour, c));
      hi = std::max(hi, channel(colours[k].colour, c));
    }
    if (hi - lo > spread) {
      spread = hi - lo;
      best = c;
    }
  }
  return best;
}

// Splits the box at the weighted median of its widest channel into box and the returned part.
Box split_box(std::vector<ColourCount>& colours, Box& box) {
  int spread;
  const int c = widest_channel(colours, box, spread);
  std::sort(colours.begin() + box.begin, colours.begin() + box.end,
            [c](const ColourCount& a, const ColourCount& b) {
              return channel(a.colour, c) != channel(b.colour, c)
                         ? channel(a.colour, c) < channel(b.colour, c)
                         : a.colour < b.colour;
            });
  long total = 0;
  for (size_t k = box.begin; k < box.end; k++) total += colours[k].count;
  long below = 0;
  size_t cut = box.begin + 1;
  for (size_t k = box.begin; k + 1 < box.end; k++) {
    below += colours[k].count;
    cut = k + 1;
    if (2 * below >= total) break;
  }
  const Box upper = {cut, box.end};
  box.end = cut;
  return upper;
}

// The most frequent colour of the box (the smallest word among equals).
uint32_t box_colour(const std::vector<ColourCount>& colours, const Box& box) {
  size_t best = box.begin;
  for (size_t k = box.begin; k < box.end; k++)
    if (colours[k].count > colours[best].count ||
        (colours[k].count == colours[best].count && colours[k].colour < colours[best].colour))
      best = k;
  return colours[best].colour;
}

long squared_distance(uint32_t a, uint32_t b) {
  long d = 0;
  for (int c = 0; c < 3; c++) {
    const long e = channel(a, c) - channel(b, c);
    d += e * e;
  }
  return d;
}

}  // namespace

void frame_palette(const uint32_t pixels[], long count, FramePalette& palette) {
  std::vector<uint32_t> sorted(pixels, pixels + count);
  std::sort(sorted.begin(), sorted.end());
  std::vector<ColourCount> colours;
  for (long k = 0; k < count; k++) {
    if (colours.empty() || colours.back().colour != sorted[k]) colours.push_back({sorted[k], 0});
    colours.back().count++;
  }
  palette.distinct.resize(colours.size());
  for (size_t k = 0; k < colours.size(); k++) palette.distinct[k] = colours[k].colour;
  palette.index.assign(colours.size(), 0);
  if (colours.size() <= static_cast<size_t>(kMaxPaletteColours)) {
    palette.size = static_cast<int>(colours.size());
    for (size_t k = 0; k < colours.size(); k++) {
      palette.colours[k] = colours[k].colour;
      palette.index[k] = static_cast<uint8_t>(k);
    }
    return;
  }
  // Median cut: the box of the widest spread split until there are 256.
  std::vector<Box> boxes = {{0, colours.size()}};
  while (boxes.size() < static_cast<size_t>(kMaxPaletteColours)) {
    size_t widest = boxes.size();
    int widestSpread = 0;
    for (size_t b = 0; b < boxes.size(); b++) {
      if (boxes[b].end - boxes[b].begin < 2) continue;
      int spread;
      widest_channel(colours, boxes[b], spread);
      if (widest == boxes.size() || spread > widestSpread) {
        widest = b;
        widestSpread = spread;
      }
    }
    if (widest == boxes.size()) break;
    boxes.push_back(split_box(colours, boxes[widest]));
  }
  palette.size = static_cast<int>(boxes.size());
  for (size_t b = 0; b < boxes.size(); b++) palette.colours[b] = box_colour(colours, boxes[b]);
  // Each colour drawn with the nearest palette colour (the lowest index among equals).
  for (size_t k = 0; k < palette.distinct.size(); k++) {
    int best = 0;
    for (int p = 1; p < palette.size; p++)
      if (squared_distance(palette.distinct[k], palette.colours[p]) <
          squared_distance(palette.distinct[k], palette.colours[best]))
        best = p;
    palette.index[k] = static_cast<uint8_t>(best);
  }
}

uint8_t palette_index(const FramePalette& palette, uint32_t colour) {
  const auto at = std::lower_bound(palette.distinct.begin(), palette.distinct.end(), colour);
  return palette.index[at - palette.distinct.begin()];
}
