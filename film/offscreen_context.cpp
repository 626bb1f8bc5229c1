#include "film/offscreen_context.h"

#define GL_GLEXT_PROTOTYPES
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstddef>

const char* offscreen_status_text(int status) {
  switch (status) {
    case kOffscreenOk:
      return "ok";
    case kOffscreenNoDisplay:
      return "no EGL display on Mesa's surfaceless platform (is Mesa's libEGL installed?)";
    case kOffscreenNoContext:
      return "no OpenGL context without a display (EGL)";
    default:
      return "no offscreen framebuffer of that size";
  }
}

OffscreenContext::~OffscreenContext() {
  close();
}

int OffscreenContext::open(int width, int height) {
  close();
  EGLDisplay display =
      eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  EGLint major, minor;
  if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor))
    return kOffscreenNoDisplay;
  display_ = display;
  // Any surface type: the drawing goes to a framebuffer object, never to an EGL surface (the
  // default, a window, is one the surfaceless platform does not have).
  const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_DONT_CARE, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                               EGL_NONE};
  EGLConfig config;
  EGLint configs = 0;
  if (!eglBindAPI(EGL_OPENGL_API) || !eglChooseConfig(display, attributes, &config, 1, &configs) ||
      configs < 1) {
    close();
    return kOffscreenNoContext;
  }
  // The default context is the compatibility profile: the fixed-function drawing of render/.
  context_ = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
  if (context_ == EGL_NO_CONTEXT ||
      !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context_)) {
    close();
    return kOffscreenNoContext;
  }
  GLint largest = 0;
  glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
  if (width < 1 || height < 1 || width > largest || height > largest) {
    close();
    return kOffscreenNoFramebuffer;
  }
  glGenFramebuffers(1, &framebuffer_);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  glGenRenderbuffers(2, renderbuffers_);
  glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[0]);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                            renderbuffers_[0]);
  glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[1]);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                            renderbuffers_[1]);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    close();
    return kOffscreenNoFramebuffer;
  }
  width_ = width;
  height_ = height;
  glDrawBuffer(GL_COLOR_ATTACHMENT0);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  return kOffscreenOk;
}

void OffscreenContext::read(uint32_t pixels[]) const {
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  // OpenGL's rows start at the bottom; a frame's at the top.
  for (int y = 0; y < height_; y++)
    glReadPixels(0, height_ - 1 - y, width_, 1, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                 pixels + static_cast<std::size_t>(y) * width_);
  const std::size_t count = static_cast<size_t>(width_) * height_;
  for (std::size_t k = 0; k < count; k++) pixels[k] &= 0xffffffu;
}

void OffscreenContext::close() {
  if (context_ != nullptr && context_ != EGL_NO_CONTEXT) {
    if (framebuffer_ != 0) {
      glDeleteRenderbuffers(2, renderbuffers_);
      glDeleteFramebuffers(1, &framebuffer_);
    }
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
  }
  if (display_ != nullptr) eglTerminate(display_);
  display_ = nullptr;
  context_ = nullptr;
  framebuffer_ = 0;
  renderbuffers_[0] = renderbuffers_[1] = 0;
  width_ = height_ = 0;
}
