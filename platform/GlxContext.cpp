#include "platform/GlxContext.h"

#include <X11/Xutil.h>

#include <cstring>
#include <string>

namespace platform {

namespace {

// From GLX_OML_swap_method, which older headers may lack.
constexpr int kSwapMethod = 0x8060;
constexpr int kSwapCopy = 0x8062;

bool offersSwapMethod(Display* display, int screen) {
  const char* extensions = glXQueryExtensionsString(display, screen);
  return extensions != nullptr && std::strstr(extensions, "GLX_OML_swap_method") != nullptr;
}

// The first window configuration with the visual given whose swap copies.
GLXFBConfig swapCopyConfig(Display* display, int screen, VisualID visual) {
  if (!offersSwapMethod(display, screen)) return nullptr;
  const int wanted[] = {GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,   GLX_RENDER_TYPE,
                        GLX_RGBA_BIT,      GLX_DOUBLEBUFFER, True,
                        kSwapMethod,       kSwapCopy,        None};
  int count = 0;
  GLXFBConfig* configs = glXChooseFBConfig(display, screen, wanted, &count);
  GLXFBConfig found = nullptr;
  for (int i = 0; configs != nullptr && i < count && found == nullptr; ++i) {
    int id = 0;
    int method = 0;
    if (glXGetFBConfigAttrib(display, configs[i], GLX_VISUAL_ID, &id) == Success &&
        glXGetFBConfigAttrib(display, configs[i], kSwapMethod, &method) == Success &&
        static_cast<VisualID>(id) == visual && method == kSwapCopy)
      found = configs[i];
  }
  if (configs) XFree(configs);
  return found;
}

}  // namespace

XVisualInfo* chooseWindowVisual(Display* display, int screen) {
  if (offersSwapMethod(display, screen)) {
    // clang-format off
    const int wanted[] = {GLX_X_RENDERABLE, True,
                          GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,
                          GLX_RENDER_TYPE, GLX_RGBA_BIT,
                          GLX_DOUBLEBUFFER, True,
                          GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                          GLX_DEPTH_SIZE, 16,
                          kSwapMethod, kSwapCopy,
                          None};
    // clang-format on
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, screen, wanted, &count);
    XVisualInfo* visual = nullptr;
    for (int i = 0; configs != nullptr && i < count && visual == nullptr; ++i)
      visual = glXGetVisualFromFBConfig(display, configs[i]);
    if (configs) XFree(configs);
    if (visual) return visual;
  }
  int attributes[] = {
      GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8,   GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE,
      8,        GLX_DEPTH_SIZE,   16,           None};
  return glXChooseVisual(display, screen, attributes);
}

GLXFBConfig choosePbufferConfig(Display* display, int screen) {
  const int wanted[] = {GLX_DRAWABLE_TYPE,
                        GLX_PBUFFER_BIT,
                        GLX_RENDER_TYPE,
                        GLX_RGBA_BIT,
                        GLX_RED_SIZE,
                        8,
                        GLX_GREEN_SIZE,
                        8,
                        GLX_BLUE_SIZE,
                        8,
                        None};
  int count = 0;
  GLXFBConfig* configs = glXChooseFBConfig(display, screen, wanted, &count);
  // The configurations themselves belong to the server; only the list is ours.
  const GLXFBConfig first = configs && count > 0 ? configs[0] : nullptr;
  if (configs) XFree(configs);
  return first;
}

std::unique_ptr<GlxWindowContext> GlxWindowContext::create(Window window, std::string& whyNot) {
  std::unique_ptr<X11Connection> connection = X11Connection::open(whyNot);
  if (!connection) return nullptr;
  Display* display = connection->display();
  std::unique_ptr<GlxWindowContext> self(new GlxWindowContext(std::move(connection), window));

  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, window, &attributes) ||
      self->connection_->syncAndTakeError() != 0) {
    whyNot = "the editor window is gone";
    return nullptr;
  }
  self->screen_ = XScreenNumberOfScreen(attributes.screen);
  int errorBase = 0;
  int eventBase = 0;
  if (!glXQueryExtension(display, &errorBase, &eventBase)) {
    whyNot = "the X server offers no OpenGL (GLX)";
    return nullptr;
  }
  XVisualInfo wanted{};
  wanted.visualid = XVisualIDFromVisual(attributes.visual);
  int count = 0;
  XVisualInfo* visual = XGetVisualInfo(display, VisualIDMask, &wanted, &count);
  if (!visual) {
    whyNot = "no visual information for the editor window";
    return nullptr;
  }
  int doubleBuffered = 0;
  int usesGl = 0;
  glXGetConfig(display, visual, GLX_USE_GL, &usesGl);
  glXGetConfig(display, visual, GLX_DOUBLEBUFFER, &doubleBuffered);
  if (usesGl && doubleBuffered) {
    if (const GLXFBConfig copying = swapCopyConfig(display, self->screen_, visual->visualid)) {
      self->context_ = glXCreateNewContext(display, copying, GLX_RGBA_TYPE, nullptr, True);
      self->keepsBackBuffer_ = self->context_ != nullptr;
    }
  }
  if (usesGl && !self->context_) self->context_ = glXCreateContext(display, visual, nullptr, True);
  XFree(visual);
  if (self->connection_->syncAndTakeError() != 0 || !self->context_) {
    whyNot = usesGl ? "cannot create an OpenGL context for the editor window"
                    : "the editor window's visual does not support OpenGL";
    return nullptr;
  }
  if (!doubleBuffered) {
    whyNot = "the editor window's visual is not double-buffered";
    return nullptr;
  }
  if (!self->makeCurrent()) {
    whyNot = "cannot make the editor's OpenGL context current";
    return nullptr;
  }
  return self;
}

GlxWindowContext::~GlxWindowContext() {
  Display* display = connection_->display();
  if (context_ && !connection_->broken()) {
    glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, context_);
  }
}

bool GlxWindowContext::makeCurrent() {
  if (connection_->broken()) return false;
  return glXMakeCurrent(connection_->display(), window_, context_) == True;
}

void GlxWindowContext::swapBuffers() {
  if (connection_->broken()) return;
  glXSwapBuffers(connection_->display(), window_);
}

std::unique_ptr<GlxOffscreenContext> GlxOffscreenContext::create(GlxWindowContext& shareWith,
                                                                 int width, int height,
                                                                 std::string& whyNot) {
  X11Connection& connection = shareWith.connection();
  if (connection.broken() || width <= 0 || height <= 0) {
    whyNot = "no off-screen picture of " + std::to_string(width) + "x" + std::to_string(height);
    return nullptr;
  }
  Display* display = connection.display();
  const GLXFBConfig config = choosePbufferConfig(display, shareWith.screen());
  if (!config) {
    whyNot = "the X server offers no off-screen OpenGL drawables (pbuffers)";
    return nullptr;
  }
  std::unique_ptr<GlxOffscreenContext> self(new GlxOffscreenContext(connection, width, height));
  const int size[] = {GLX_PBUFFER_WIDTH, width, GLX_PBUFFER_HEIGHT, height, None};
  self->pbuffer_ = glXCreatePbuffer(display, config, size);
  self->context_ = glXCreateNewContext(display, config, GLX_RGBA_TYPE, shareWith.context(), True);
  if (connection.syncAndTakeError() != 0 || !self->pbuffer_ || !self->context_) {
    whyNot = "cannot create an off-screen OpenGL drawable of " + std::to_string(width) + "x" +
             std::to_string(height);
    return nullptr;
  }
  if (!self->makeCurrent()) {
    whyNot = "cannot make the off-screen OpenGL context current";
    return nullptr;
  }
  return self;
}

GlxOffscreenContext::~GlxOffscreenContext() {
  if (connection_.broken()) return;
  Display* display = connection_.display();
  if (context_ && glXGetCurrentContext() == context_) glXMakeCurrent(display, None, nullptr);
  if (context_) glXDestroyContext(display, context_);
  if (pbuffer_) glXDestroyPbuffer(display, pbuffer_);
  connection_.syncAndTakeError();
}

bool GlxOffscreenContext::makeCurrent() {
  if (connection_.broken()) return false;
  if (glXMakeContextCurrent(connection_.display(), pbuffer_, pbuffer_, context_) != True)
    return false;
  glViewport(0, 0, width_, height_);
  return true;
}

void GlxOffscreenContext::readPixels(std::vector<unsigned char>& rgb) const {
  rgb.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3);
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
}

}  // namespace platform
