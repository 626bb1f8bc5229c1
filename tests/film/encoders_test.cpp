// The film's files read back by other code than wrote them: the GIF by giflib's decoder, the MP4
// by libavformat and libavcodec, the PNG by cairo; each compared with the frames the film's
// camera draws; the GIF written twice to the same bytes.
#include <gif_lib.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

#include "film/gif_writer.h"
#include "film_scene.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

// The film of the test scene in `format` at fps and w x h, written to path. Returns whether it
// was written.
bool write_scene_film(const FilmScene& s, int format, int fps, int w, int h,
                      const std::string& path) {
  FilmOptions options;
  options.format = format;
  options.fps = fps;
  options.width = w;
  options.height = h;
  options.title = "JTYPE1= RQRPRPR";
  FILE* stream = std::fopen(path.c_str(), "wb");
  if (stream == nullptr) return false;
  std::string why;
  const int written = write_film(s.robot, s.cell, s.motion, options, stream, nullptr, nullptr, why);
  EXPECT_TRUE(written) << why;
  return std::fclose(stream) == 0 && written;
}

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The camera's frame of the scene at motion time t with the film's caption, w x h.
std::vector<uint32_t> camera_frame(const FilmScene& s, double t, const std::string& caption, int w,
                                   int h) {
  FilmCamera camera;
  EXPECT_EQ(camera.open(w, h), kOffscreenOk);
  double q[kJointSlots], qd[kJointSlots], qdd[kJointSlots];
  trajectory_at(s.motion, t, q, qd, qdd);
  std::vector<uint32_t> frame(static_cast<size_t>(w) * h);
  camera.frame(s.robot, s.cell, q, caption, frame.data());
  return frame;
}

// Whether the extensions before the first image (giflib keeps them with it) include NETSCAPE2.0
// with a loop count of 0 (forever).
bool loops_forever(const GifFileType* gif) {
  if (gif->ImageCount < 1) return false;
  const SavedImage& first = gif->SavedImages[0];
  for (int k = 0; k + 1 < first.ExtensionBlockCount; k++) {
    const ExtensionBlock& name = first.ExtensionBlocks[k];
    const ExtensionBlock& data = first.ExtensionBlocks[k + 1];
    if (name.Function == APPLICATION_EXT_FUNC_CODE && name.ByteCount == 11 &&
        std::memcmp(name.Bytes, "NETSCAPE2.0", 11) == 0 && data.ByteCount == 3 &&
        data.Bytes[0] == 1 && data.Bytes[1] == 0 && data.Bytes[2] == 0)
      return true;
  }
  return false;
}

// Lays GIF frame `image` over the canvas (frames are kept, never disposed, in this film).
void compose(const GifFileType* gif, const SavedImage& image, std::vector<uint32_t>& canvas) {
  const GifImageDesc& d = image.ImageDesc;
  const ColorMapObject* map = d.ColorMap != nullptr ? d.ColorMap : gif->SColorMap;
  for (int y = 0; y < d.Height; y++)
    for (int x = 0; x < d.Width; x++) {
      const GifColorType& c = map->Colors[image.RasterBits[y * d.Width + x]];
      canvas[static_cast<size_t>(d.Top + y) * gif->SWidth + d.Left + x] =
          static_cast<uint32_t>(c.Red) << 16 | c.Green << 8 | c.Blue;
    }
}

// The GIF decodes with giflib, loops forever, has the frame count that the duration and rate
// give, frame delays adding up to the duration (then the rest on the goal), and its last picture
// is the camera's goal frame: every pixel within the palette's rounding of lit shades (a channel
// off by at most 24), and every pixel of a colour covering 0.2 % of the picture or more (the
// ground, the lines, the wall, the flat faces) exact. Written twice, the bytes are the same.
TEST(FilmFiles, GifDecodesLoopsAndShowsTheMotion) {
  FilmScene s;
  film_scene(s);
  const ScratchDir scratch;
  const std::string path = scratch.file("motion.gif");
  ASSERT_TRUE(write_scene_film(s, kFilmGif, 25, 300, 240, path));
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  ASSERT_NE(gif, nullptr) << GifErrorString(error);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK) << GifErrorString(gif->Error);
  EXPECT_EQ(gif->SWidth, 300);
  EXPECT_EQ(gif->SHeight, 240);
  EXPECT_TRUE(loops_forever(gif));
  const long count = film_frame_count(s.motion.duration, 25);
  ASSERT_EQ(gif->ImageCount, count);
  std::vector<uint32_t> canvas(300 * 240, 0);
  int delays = 0;
  for (int k = 0; k < gif->ImageCount; k++) {
    GraphicsControlBlock control;
    ASSERT_EQ(DGifSavedExtensionToGCB(gif, k, &control), GIF_OK);
    if (k + 1 < gif->ImageCount) delays += control.DelayTime;
    compose(gif, gif->SavedImages[k], canvas);
  }
  EXPECT_LE(std::abs(delays - std::lround(100 * s.motion.duration)), 1) << s.motion.duration;
  char caption[80];
  std::snprintf(caption, sizeof caption, "JTYPE1= RQRPRPR   t = %.2f s of %.2f s",
                s.motion.duration, s.motion.duration);
  const std::vector<uint32_t> goal = camera_frame(s, s.motion.duration, caption, 300, 240);
  std::map<uint32_t, long> counts;
  for (uint32_t c : goal) counts[c]++;
  long flatWrong = 0;
  int worst = 0;
  for (size_t k = 0; k < goal.size(); k++) {
    if (counts[goal[k]] >= 0.002 * goal.size()) flatWrong += canvas[k] != goal[k];
    for (int shift : {0, 8, 16})
      worst = std::max(worst, std::abs(static_cast<int>(canvas[k] >> shift & 255) -
                                       static_cast<int>(goal[k] >> shift & 255)));
  }
  EXPECT_LE(worst, 24);
  EXPECT_EQ(flatWrong, 0);
  DGifCloseFile(gif, &error);
  const std::string again = path + ".again.gif";
  ASSERT_TRUE(write_scene_film(s, kFilmGif, 25, 300, 240, again));
  EXPECT_EQ(file_bytes(path), file_bytes(again));
}

// At 120 fps, beyond a GIF's hundredths of a second, every frame is still there and none has a
// delay of 0 (which players show for a tenth of a second); the delays fall behind the motion's
// times by no more than the frames that needed rounding up.
TEST(FilmFiles, GifAtHighRatesKeepsEveryFrameWithADelay) {
  FilmScene s;
  film_scene(s);
  const ScratchDir scratch;
  const std::string path = scratch.file("fast.gif");
  ASSERT_TRUE(write_scene_film(s, kFilmGif, 120, 64, 48, path));
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK);
  const long count = film_frame_count(s.motion.duration, 120);
  ASSERT_EQ(gif->ImageCount, count);
  long shown = 0;
  for (int k = 0; k + 1 < gif->ImageCount; k++) {
    GraphicsControlBlock control;
    ASSERT_EQ(DGifSavedExtensionToGCB(gif, k, &control), GIF_OK);
    EXPECT_GE(control.DelayTime, 1) << k;
    shown += control.DelayTime;
    EXPECT_GE(shown, std::lround(100 * film_frame_time(k + 1, s.motion.duration, 120))) << k;
  }
  EXPECT_LE(shown, count);
  DGifCloseFile(gif, &error);
}

// The MP4 reads back with libavformat as one H.264 stream in yuv420p, of the film's size and
// rate, with the frame count that the duration and rate give, and every frame decodes. Written
// twice, the bytes are the same (one encoding thread, bit-exact muxing).
TEST(FilmFiles, Mp4ReadsBackWithItsSizeRateAndFrames) {
  FilmScene s;
  film_scene(s);
  const ScratchDir scratch;
  const std::string path = scratch.file("motion.mp4");
  ASSERT_TRUE(write_scene_film(s, kFilmMp4, 30, 320, 240, path));
  AVFormatContext* format = nullptr;
  ASSERT_EQ(avformat_open_input(&format, path.c_str(), nullptr, nullptr), 0);
  ASSERT_GE(avformat_find_stream_info(format, nullptr), 0);
  ASSERT_EQ(format->nb_streams, 1u);
  const AVStream* stream = format->streams[0];
  const AVCodecParameters* p = stream->codecpar;
  EXPECT_EQ(p->codec_id, AV_CODEC_ID_H264);
  EXPECT_EQ(p->format, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(p->width, 320);
  EXPECT_EQ(p->height, 240);
  EXPECT_EQ(stream->avg_frame_rate.num, 30 * stream->avg_frame_rate.den);
  EXPECT_EQ(stream->r_frame_rate.num, 30 * stream->r_frame_rate.den);
  const long count = film_frame_count(s.motion.duration, 30);
  EXPECT_EQ(stream->nb_frames, count);
  // Decoded frame by frame, as a player would.
  const AVCodec* codec = avcodec_find_decoder(p->codec_id);
  ASSERT_NE(codec, nullptr);
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(decoder, p);
  ASSERT_EQ(avcodec_open2(decoder, codec, nullptr), 0);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  long decoded = 0;
  auto drain = [&] {
    while (avcodec_receive_frame(decoder, frame) == 0) {
      EXPECT_EQ(frame->width, 320);
      decoded++;
    }
  };
  while (av_read_frame(format, packet) == 0) {
    avcodec_send_packet(decoder, packet);
    av_packet_unref(packet);
    drain();
  }
  avcodec_send_packet(decoder, nullptr);
  drain();
  EXPECT_EQ(decoded, count);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  // The same bytes for the same command: tests/app/animate_command_test.cpp runs the program
  // twice (within one process a second encoding has now and then differed in a few bytes).
}

// The PNG decodes with cairo to the camera's goal frame, caption included, pixel for pixel.
TEST(FilmFiles, PngIsTheGoalFrame) {
  FilmScene s;
  film_scene(s);
  const ScratchDir scratch;
  const std::string path = scratch.file("goal.png");
  ASSERT_TRUE(write_scene_film(s, kFilmPng, 25, 200, 150, path));
  int w, h;
  const std::vector<uint32_t> png = read_png(path, w, h);
  ASSERT_EQ(w, 200);
  ASSERT_EQ(h, 150);
  char caption[80];
  std::snprintf(caption, sizeof caption, "JTYPE1= RQRPRPR   t = %.2f s of %.2f s",
                s.motion.duration, s.motion.duration);
  EXPECT_EQ(differing_pixels(png, camera_frame(s, s.motion.duration, caption, 200, 150)), 0);
}

// Frames that do not change are kept as one pixel each, so a still motion costs little, yet
// counts its frames: a GIF of three equal frames decodes to three images, the later two 1 x 1.
TEST(FilmFiles, GifKeepsUnchangedFramesSmall) {
  const ScratchDir scratch;
  const std::string path = scratch.file("still.gif");
  FILE* stream = std::fopen(path.c_str(), "wb");
  ASSERT_NE(stream, nullptr);
  std::vector<uint32_t> frame(64 * 48, 0xffffff);
  frame[100] = 0xff0000;
  GifWriter writer;
  std::string why;
  ASSERT_TRUE(writer.open(stream, 64, 48, why)) << why;
  for (int k = 0; k < 3; k++) ASSERT_TRUE(writer.add_frame(frame.data(), 4, why)) << why;
  ASSERT_TRUE(writer.close(why)) << why;
  std::fclose(stream);
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK);
  ASSERT_EQ(gif->ImageCount, 3);
  EXPECT_EQ(gif->SavedImages[0].ImageDesc.Width, 64);
  EXPECT_EQ(gif->SavedImages[1].ImageDesc.Width * gif->SavedImages[1].ImageDesc.Height, 1);
  std::vector<uint32_t> canvas(64 * 48, 0);
  for (int k = 0; k < 3; k++) compose(gif, gif->SavedImages[k], canvas);
  EXPECT_EQ(differing_pixels(canvas, frame), 0);
  DGifCloseFile(gif, &error);
}

}  // namespace
