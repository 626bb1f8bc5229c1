// An MP4 of H.264 video (yuv420p, libx264 through FFmpeg's libavcodec) at a constant frame
// rate, written frame by frame to a seekable stream. Frames are words 0x00RRGGBB, rows from the
// top. Encoded on one thread with FFmpeg's bit-exact flags and x264's CPU-independent routines,
// so the same frames give the same bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct AVStream;
struct SwsContext;

// The H.264 encoder's name in libavcodec.
constexpr const char* kH264Encoder = "libx264";

class Mp4Writer {
 public:
  Mp4Writer() = default;
  ~Mp4Writer();
  Mp4Writer(const Mp4Writer&) = delete;
  Mp4Writer& operator=(const Mp4Writer&) = delete;

  // Starts a width x height video (both even: yuv420p halves the colour planes) of fps frames a
  // second on stream, which must be seekable. Returns 1, or 0 with why set.
  int open(FILE* stream, int width, int height, int fps, std::string& why);
  // Encodes the next frame, shown for 1 / fps s. Returns 1, or 0 with why set.
  int add_frame(const uint32_t pixels[], std::string& why);
  // Encodes what the encoder holds back and writes the index; the stream stays open. Returns 1,
  // or 0 with why set.
  int close(std::string& why);

 private:
  int send(const AVFrame* frame, std::string& why);
  void release();

  AVFormatContext* format_ = nullptr;
  AVIOContext* io_ = nullptr;
  AVCodecContext* encoder_ = nullptr;
  AVStream* stream_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* scaler_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  long frames_ = 0;
};
