#include "film/gif_writer.h"

#include <algorithm>

#include "film/frame_palette.h"

namespace {

int write_to_stream(GifFileType* gif, const GifByteType* bytes, int count) {
  return static_cast<int>(std::fwrite(bytes, 1, count, static_cast<FILE*>(gif->UserData)));
}

std::string gif_error(const char* step, int error) {
  const char* text = GifErrorString(error);
  return std::string("GIF ") + step + ": " + (text != nullptr ? text : "error");
}

// The smallest power of two >= n, at least 2: the sizes a GIF colour table may have.
int table_size(int n) {
  int size = 2;
  while (size < n) size *= 2;
  return size;
}

// The rectangle where frames a and b (width x height) differ; false when they are equal.
bool changed_rectangle(const uint32_t a[], const uint32_t b[], int width, int height, int& left,
                       int& top, int& right, int& bottom) {
  left = width;
  top = height;
  right = bottom = -1;
  for (int y = 0; y < height; y++) {
    const uint32_t* rowA = a + static_cast<size_t>(y) * width;
    const uint32_t* rowB = b + static_cast<size_t>(y) * width;
    int x0 = 0;
    while (x0 < width && rowA[x0] == rowB[x0]) x0++;
    if (x0 == width) continue;
    int x1 = width - 1;
    while (rowA[x1] == rowB[x1]) x1--;
    left = std::min(left, x0);
    right = std::max(right, x1);
    top = std::min(top, y);
    bottom = y;
  }
  return right >= 0;
}

}  // namespace

GifWriter::~GifWriter() {
  std::string ignored;
  close(ignored);
}

int GifWriter::open(FILE* stream, int width, int height, std::string& why) {
  int error = 0;
  gif_ = EGifOpen(stream, write_to_stream, &error);
  if (gif_ == nullptr) {
    why = gif_error("open", error);
    return 0;
  }
  width_ = width;
  height_ = height;
  previous_.clear();
  EGifSetGifVersion(gif_, true);
  static const GifByteType kLoopName[] = "NETSCAPE2.0";
  // Sub-block 1, repeated forever (a loop count of 0, little-endian).
  static const GifByteType kLoopForever[3] = {1, 0, 0};
  if (EGifPutScreenDesc(gif_, width, height, 8, 0, nullptr) == GIF_ERROR ||
      EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
      EGifPutExtensionBlock(gif_, 11, kLoopName) == GIF_ERROR ||
      EGifPutExtensionBlock(gif_, 3, kLoopForever) == GIF_ERROR ||
      EGifPutExtensionTrailer(gif_) == GIF_ERROR) {
    why = gif_error("header", gif_->Error);
    return 0;
  }
  return 1;
}

int GifWriter::add_frame(const uint32_t pixels[], int delay, std::string& why) {
  GraphicsControlBlock control;
  control.DisposalMode = DISPOSE_DO_NOT;
  control.UserInputFlag = false;
  control.DelayTime = delay;
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType extension[4];
  EGifGCBToExtension(&control, extension);
  if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_ERROR) {
    why = gif_error("frame", gif_->Error);
    return 0;
  }
  int left = 0, top = 0, right = width_ - 1, bottom = height_ - 1;
  const size_t count = static_cast<size_t>(width_) * height_;
  // An unchanged frame is one unchanged pixel, which keeps its place in the timing.
  if (!previous_.empty() &&
      !changed_rectangle(previous_.data(), pixels, width_, height_, left, top, right, bottom))
    right = left = bottom = top = 0;
  if (!put_rectangle(pixels, left, top, right - left + 1, bottom - top + 1, why)) return 0;
  previous_.assign(pixels, pixels + count);
  return 1;
}

int GifWriter::put_rectangle(const uint32_t pixels[], int left, int top, int w, int h,
                             std::string& why) {
  part_.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; y++)
    std::copy(pixels + static_cast<size_t>(top + y) * width_ + left,
              pixels + static_cast<size_t>(top + y) * width_ + left + w,
              part_.begin() + static_cast<size_t>(y) * w);
  FramePalette palette;
  frame_palette(part_.data(), static_cast<long>(part_.size()), palette);
  GifColorType colours[kMaxPaletteColours] = {};
  for (int k = 0; k < palette.size; k++)
    colours[k] = {static_cast<GifByteType>(palette.colours[k] >> 16),
                  static_cast<GifByteType>(palette.colours[k] >> 8 & 255),
                  static_cast<GifByteType>(palette.colours[k] & 255)};
  ColorMapObject* map = GifMakeMapObject(table_size(palette.size), colours);
  if (map == nullptr) {
    why = "GIF frame: no memory for its colour table";
    return 0;
  }
  const int put = EGifPutImageDesc(gif_, left, top, w, h, false, map);
  GifFreeMapObject(map);
  if (put == GIF_ERROR) {
    why = gif_error("frame", gif_->Error);
    return 0;
  }
  line_.resize(w);
  for (int y = 0; y < h; y++) {
    for (int x = 0; x < w; x++)
      line_[x] = palette_index(palette, part_[static_cast<size_t>(y) * w + x]);
    if (EGifPutLine(gif_, line_.data(), w) == GIF_ERROR) {
      why = gif_error("frame", gif_->Error);
      return 0;
    }
  }
  return 1;
}

int GifWriter::close(std::string& why) {
  if (gif_ == nullptr) return 1;
  int error = 0;
  const int closed = EGifCloseFile(gif_, &error);
  gif_ = nullptr;
  if (closed == GIF_ERROR) {
    why = gif_error("end", error);
    return 0;
  }
  return 1;
}
