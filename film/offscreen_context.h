// An OpenGL context that needs no display: EGL on Mesa's surfaceless platform (no X server, no
// DISPLAY; llvmpipe where there is no GPU), drawing into a framebuffer object with colour and
// depth of a given size. The context is the compatibility profile the window has, so render/'s
// drawing runs in it unchanged. One context at a time per thread (it is made current), on a
// thread with no window system's context current (libglvnd keeps one window system a thread).
#pragma once

#include <cstdint>

enum OffscreenStatus {
  kOffscreenOk,
  kOffscreenNoDisplay,      // no EGL surfaceless display (no Mesa EGL)
  kOffscreenNoContext,      // no desktop OpenGL context could be made current
  kOffscreenNoFramebuffer,  // the framebuffer of that size could not be made
};

// What an OffscreenStatus means, as one line.
const char* offscreen_status_text(int status);

class OffscreenContext {
 public:
  OffscreenContext() = default;
  ~OffscreenContext();
  OffscreenContext(const OffscreenContext&) = delete;
  OffscreenContext& operator=(const OffscreenContext&) = delete;

  // Makes a context current with a width x height framebuffer bound and the viewport over it,
  // the projection the identity and the modelview matrix current. Returns an OffscreenStatus;
  // on failure nothing is left open.
  int open(int width, int height);
  // Reads the drawn picture into pixels (width * height words 0x00RRGGBB, rows from the top),
  // after the drawing is finished.
  void read(uint32_t pixels[]) const;
  // Releases the framebuffer and the context; open may be called again.
  void close();

 private:
  void* display_ = nullptr;
  void* context_ = nullptr;
  unsigned framebuffer_ = 0;
  unsigned renderbuffers_[2] = {0, 0};  // colour, depth
  int width_ = 0;
  int height_ = 0;
};
