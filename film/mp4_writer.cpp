#include "film/mp4_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

// The muxer's write buffer, bytes.
constexpr int kIoBufferSize = 1 << 16;

int write_packet(void* opaque, uint8_t* bytes, int count) {
  FILE* stream = static_cast<FILE*>(opaque);
  return std::fwrite(bytes, 1, count, stream) == static_cast<size_t>(count) ? count : AVERROR(EIO);
}

int64_t seek_stream(void* opaque, int64_t offset, int whence) {
  FILE* stream = static_cast<FILE*>(opaque);
  if (whence == AVSEEK_SIZE) {
    const long at = std::ftell(stream);
    if (at < 0 || std::fseek(stream, 0, SEEK_END) != 0) return -1;
    const long size = std::ftell(stream);
    std::fseek(stream, at, SEEK_SET);
    return size;
  }
  if (std::fseek(stream, static_cast<long>(offset), whence & ~AVSEEK_FORCE) != 0) return -1;
  return std::ftell(stream);
}

std::string av_text(const char* step, int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  return std::string("MP4 ") + step + ": " + text;
}

}  // namespace

Mp4Writer::~Mp4Writer() {
  release();
}

int Mp4Writer::open(FILE* stream, int width, int height, int fps, std::string& why) {
  release();
  // The libraries' notes (the encoder's settings, its statistics) are not for the user; what
  // goes wrong is reported through why.
  av_log_set_level(AV_LOG_ERROR);
  const AVCodec* codec = avcodec_find_encoder_by_name(kH264Encoder);
  if (codec == nullptr) {
    why = std::string("MP4: this FFmpeg has no H.264 encoder (") + kH264Encoder + ")";
    return 0;
  }
  if (avformat_alloc_output_context2(&format_, nullptr, "mp4", nullptr) < 0) {
    why = "MP4: this FFmpeg has no MP4 muxer";
    return 0;
  }
  // No encoder version or creation time in the file: the same frames give the same bytes.
  format_->flags |= AVFMT_FLAG_BITEXACT;
  unsigned char* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
  io_ = buffer != nullptr ? avio_alloc_context(buffer, kIoBufferSize, 1, stream, nullptr,
                                               write_packet, seek_stream)
                          : nullptr;
  if (io_ == nullptr) {
    av_free(buffer);
    why = "MP4: no memory";
    return 0;
  }
  format_->pb = io_;
  encoder_ = avcodec_alloc_context3(codec);
  stream_ = avformat_new_stream(format_, nullptr);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (encoder_ == nullptr || stream_ == nullptr || frame_ == nullptr || packet_ == nullptr) {
    why = "MP4: no memory";
    return 0;
  }
  encoder_->width = width;
  encoder_->height = height;
  encoder_->pix_fmt = AV_PIX_FMT_YUV420P;
  encoder_->time_base = {1, fps};
  encoder_->framerate = {fps, 1};
  encoder_->color_range = AVCOL_RANGE_MPEG;
  encoder_->colorspace = AVCOL_SPC_SMPTE170M;  // swscale's default matrix, BT.601
  encoder_->thread_count = 1;
  encoder_->flags |= AV_CODEC_FLAG_BITEXACT;
  if (format_->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  // Flat colours and sharp lines: x264's tuning for animation, near-transparent quality.
  av_opt_set(encoder_->priv_data, "preset", "faster", 0);
  av_opt_set(encoder_->priv_data, "tune", "animation", 0);
  av_opt_set(encoder_->priv_data, "crf", "20", 0);
  // One thread, and x264's routines that give the same results on every CPU: with its AVX-512
  // ones, the same frames encoded to other bytes in about one run in ten on a loaded machine.
  av_opt_set(encoder_->priv_data, "x264-params", "threads=1:lookahead-threads=1:cpu-independent=1",
             0);
  int status = avcodec_open2(encoder_, codec, nullptr);
  if (status < 0) {
    why = av_text("encoder", status);
    return 0;
  }
  stream_->time_base = encoder_->time_base;
  stream_->avg_frame_rate = encoder_->framerate;
  avcodec_parameters_from_context(stream_->codecpar, encoder_);
  status = avformat_write_header(format_, nullptr);
  if (status < 0) {
    why = av_text("header", status);
    return 0;
  }
  frame_->format = AV_PIX_FMT_YUV420P;
  frame_->width = width;
  frame_->height = height;
  status = av_frame_get_buffer(frame_, 0);
  scaler_ = sws_getContext(width, height, AV_PIX_FMT_BGR0, width, height, AV_PIX_FMT_YUV420P,
                           SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
  if (status < 0 || scaler_ == nullptr) {
    why = "MP4: no memory for the frame";
    return 0;
  }
  width_ = width;
  height_ = height;
  frames_ = 0;
  return 1;
}

int Mp4Writer::add_frame(const uint32_t pixels[], std::string& why) {
  const int status = av_frame_make_writable(frame_);
  if (status < 0) {
    why = av_text("frame", status);
    return 0;
  }
  // 0x00RRGGBB words lie in memory as B, G, R, 0 on this little-endian machine.
  const uint8_t* planes[1] = {reinterpret_cast<const uint8_t*>(pixels)};
  const int strides[1] = {4 * width_};
  sws_scale(scaler_, planes, strides, 0, height_, frame_->data, frame_->linesize);
  frame_->pts = frames_++;
  return send(frame_, why);
}

int Mp4Writer::send(const AVFrame* frame, std::string& why) {
  int status = avcodec_send_frame(encoder_, frame);
  while (status >= 0) {
    status = avcodec_receive_packet(encoder_, packet_);
    if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return 1;
    if (status < 0) break;
    av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
    packet_->stream_index = stream_->index;
    status = av_interleaved_write_frame(format_, packet_);
  }
  why = av_text("encoding", status);
  return 0;
}

int Mp4Writer::close(std::string& why) {
  if (format_ == nullptr) return 1;
  int ok = send(nullptr, why);
  if (ok) {
    const int status = av_write_trailer(format_);
    if (status < 0) {
      why = av_text("index", status);
      ok = 0;
    }
  }
  if (ok) avio_flush(io_);
  release();
  return ok;
}

void Mp4Writer::release() {
  sws_freeContext(scaler_);
  scaler_ = nullptr;
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&encoder_);
  if (io_ != nullptr) {
    av_freep(&io_->buffer);
    avio_context_free(&io_);
  }
  avformat_free_context(format_);
  format_ = nullptr;
  stream_ = nullptr;
}
