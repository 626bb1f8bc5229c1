// The palette of one frame for an indexed picture (GIF): up to 256 of the frame's own colours.
// A frame with 256 colours or fewer keeps every colour exactly; a frame with more is divided by
// median cut over its colours weighted by their pixel counts, and each part is represented by
// its most frequent colour, so the scene's flat colours (background, lines, wall) stay exact and
// only the shading of lit solids is rounded. Colours are words 0x00RRGGBB.
#pragma once

#include <cstdint>
#include <vector>

constexpr int kMaxPaletteColours = 256;

struct FramePalette {
  int size = 0;                               // colours in use, 1..256
  uint32_t colours[kMaxPaletteColours] = {};  // the colours, each one of the frame's
  // Every distinct colour of the frame, ascending, and the palette index it is drawn with.
  std::vector<uint32_t> distinct;
  std::vector<uint8_t> index;
};

// The palette of the count pixels (count >= 1). Writes palette.
void frame_palette(const uint32_t pixels[], long count, FramePalette& palette);

// The palette index of a colour of the frame the palette was made from.
uint8_t palette_index(const FramePalette& palette, uint32_t colour);
