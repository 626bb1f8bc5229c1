// Text and stills on frames of words 0x00RRGGBB (rows from the top), through cairo: the film's
// caption, drawn without the window toolkit's fonts, and a frame as a PNG.
#pragma once

#include <cstdint>
#include <cstdio>

// Black text in an 18 pixel sans-serif face on a white band 2 pixels wider on every side, its
// baseline's left end at (x, y) pixels from the frame's top-left corner.
void draw_frame_text(uint32_t pixels[], int width, int height, double x, double y,
                     const char* text);

// The frame as an RGB PNG on stream. Returns 1, or 0 when it could not be written.
int write_frame_png(const uint32_t pixels[], int width, int height, FILE* stream);
