// An animated GIF that loops forever (the NETSCAPE2.0 extension), written frame by frame to a
// stream. Each frame after the first is the rectangle that changed since the one before, laid
// over it, with a palette of its own (film/frame_palette.h); frames are words 0x00RRGGBB, rows
// from the top.
#pragma once

#include <gif_lib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class GifWriter {
 public:
  GifWriter() = default;
  ~GifWriter();
  GifWriter(const GifWriter&) = delete;
  GifWriter& operator=(const GifWriter&) = delete;

  // Starts a width x height GIF (each 1..65535) on stream. Returns 1, or 0 with why set.
  int open(FILE* stream, int width, int height, std::string& why);
  // Adds a frame shown for delay hundredths of a second (0..65535). Returns 1, or 0 with why.
  int add_frame(const uint32_t pixels[], int delay, std::string& why);
  // Ends the GIF (its trailer); the stream stays open. Returns 1, or 0 with why set.
  int close(std::string& why);

 private:
  int put_rectangle(const uint32_t pixels[], int left, int top, int w, int h, std::string& why);

  GifFileType* gif_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> previous_;  // the last frame, empty before the first
  std::vector<uint32_t> part_;      // the changed rectangle's pixels
  std::vector<GifByteType> line_;
};
