#include "fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

extern char **environ;

bool openTestSurface(const char *driver, int width, int height, TestSurface *surface) {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  setenv("SDL_VIDEODRIVER", driver, 1);  // the dummy driver offers itself only when named so
  if (SDL_VideoInit(driver) != 0) return false;
  surface->window = SDL_CreateWindow("test", 0, 0, width, height, SDL_WINDOW_HIDDEN);
  if (!surface->window) return false;
  surface->renderer = SDL_CreateRenderer(surface->window, -1, SDL_RENDERER_TARGETTEXTURE);
  if (!surface->renderer) return false;
  SDL_RendererInfo info;
  SDL_GetRendererInfo(surface->renderer, &info);
  surface->rendererName = info.name;
  surface->bitmap.renderer = surface->renderer;
  surface->bitmap.width = width;
  surface->bitmap.height = height;
  for (SDL_Texture *&half : surface->bitmap.half) {
    half = SDL_CreateTexture(surface->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, width, height);
    if (!half) return false;
    fillHalf(surface->renderer, half, 0, 0, 0);
  }
  int32_t error = -1;
  W3D_Context *context = W3D_CreateContextTags(&error, {{W3D_CC_MODEID, W3D_ModeId(width, height)},
                                                        {W3D_CC_BITMAP, uintptr_t(&surface->bitmap)},
                                                        {W3D_CC_YOFFSET, 0},
                                                        {W3D_CC_DOUBLEHEIGHT, 1}});
  if (!context || error != W3D_SUCCESS) return false;
  surface->context = context;
  W3D_SetState(context, W3D_TEXMAPPING, W3D_ENABLE);
  W3D_SetState(context, W3D_BLENDING, W3D_ENABLE);
  W3D_SetBlendMode(context, W3D_SRC_ALPHA, W3D_ONE_MINUS_SRC_ALPHA);
  W3D_Scissor scissor{0, 0, uint32_t(width), uint32_t(height)};
  W3D_SetDrawRegion(context, &surface->bitmap, 0, &scissor);
  return true;
}

void closeTestSurface(TestSurface *surface) {
  if (surface->context) W3D_DestroyContext(surface->context);
  for (SDL_Texture *half : surface->bitmap.half)
    if (half) SDL_DestroyTexture(half);
  if (surface->renderer) SDL_DestroyRenderer(surface->renderer);
  if (surface->window) SDL_DestroyWindow(surface->window);
  SDL_VideoQuit();
  *surface = TestSurface{};
}

W3D_Texture *makeTexture(W3D_Context *context, const uint32_t *texels, int width, int height) {
  int32_t error = -1;
  return W3D_AllocTexObjTags(context, &error,
                             {{W3D_ATO_IMAGE, uintptr_t(texels)},
                              {W3D_ATO_FORMAT, W3D_A8R8G8B8},
                              {W3D_ATO_WIDTH, uintptr_t(width)},
                              {W3D_ATO_HEIGHT, uintptr_t(height)}});
}

Rgba readPixel(SDL_Renderer *renderer, SDL_Texture *half, int x, int y) {
  SDL_Texture *previous = SDL_GetRenderTarget(renderer);
  SDL_SetRenderTarget(renderer, half);
  SDL_Rect rect{x, y, 1, 1};
  uint32_t pixel = 0;
  int result = SDL_RenderReadPixels(renderer, &rect, SDL_PIXELFORMAT_ARGB8888, &pixel, 4);
  SDL_SetRenderTarget(renderer, previous);
  if (result != 0) return Rgba{-1, -1, -1, -1};
  return Rgba{int(pixel >> 16 & 255), int(pixel >> 8 & 255), int(pixel & 255), int(pixel >> 24)};
}

void fillHalf(SDL_Renderer *renderer, SDL_Texture *half, Uint8 r, Uint8 g, Uint8 b) {
  SDL_Texture *previous = SDL_GetRenderTarget(renderer);
  SDL_SetRenderTarget(renderer, half);
  SDL_RenderSetClipRect(renderer, nullptr);
  SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
  SDL_SetRenderDrawColor(renderer, r, g, b, 255);
  SDL_RenderFillRect(renderer, nullptr);
  SDL_SetRenderTarget(renderer, previous);
}

W3D_Vertex quadVertex(float x, float y, float u, float v, float brightness, float alpha) {
  W3D_Vertex out{};
  out.x = x;
  out.y = y;
  out.z = 0.5;
  out.w = 2.0f;
  out.u = u;
  out.v = v;
  out.color = W3D_Color{brightness, brightness, brightness, alpha};
  return out;
}

void drawQuad(W3D_Context *context, W3D_Texture *texture, float x0, float y0, float x1, float y1, float u0, float v0,
              float u1, float v1, float brightness, float alpha) {
  auto vertex = [&](float x, float y, float u, float v) { return quadVertex(x, y, u, v, brightness, alpha); };
  W3D_Triangle triangle{};
  triangle.tex = texture;
  triangle.v1 = vertex(x0, y0, u0, v0);
  triangle.v2 = vertex(x1, y0, u1, v0);
  triangle.v3 = vertex(x1, y1, u1, v1);
  W3D_DrawTriangle(context, &triangle);
  triangle.v2 = vertex(x0, y1, u0, v1);
  W3D_DrawTriangle(context, &triangle);
}

bool startXvfb(const char *screen, XServer *server) {
  int ready[2];
  if (pipe(ready) != 0) return false;
  // The write end is inherited: Xvfb writes its display number there.
  fcntl(ready[0], F_SETFD, FD_CLOEXEC);
  std::string fd = std::to_string(ready[1]);
  const char *argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen",  "0",
                        screen, "-nolisten",  "tcp",      "-noreset", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char *const *>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(ready[1]);
  if (spawned != 0) {
    close(ready[0]);
    return false;
  }
  server->pid = pid;
  std::string number;
  pollfd wait = {ready[0], POLLIN, 0};
  while (poll(&wait, 1, 10000) > 0) {
    char c;
    if (read(ready[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(ready[0]);
  if (number.empty()) {
    stopXvfb(server);
    return false;
  }
  server->display = ":" + number;
  return true;
}

void stopXvfb(XServer *server) {
  if (server->pid > 0) {
    kill(server->pid, SIGTERM);
    waitpid(server->pid, nullptr, 0);
  }
  server->pid = -1;
}

int runXdotool(const XServer &server, const char *const *args) {
  std::vector<const char *> argv = {"xdotool"};
  for (const char *const *arg = args; *arg; arg++) argv.push_back(*arg);
  argv.push_back(nullptr);
  std::vector<std::string> environment;
  for (char **entry = environ; *entry; entry++)
    if (std::string(*entry).rfind("DISPLAY=", 0) != 0) environment.emplace_back(*entry);
  environment.push_back("DISPLAY=" + server.display);
  std::vector<char *> envp;
  for (std::string &entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, const_cast<char *const *>(argv.data()), envp.data()) != 0)
    return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool useVideoDriver(const char *mode, XServer *server) {
  std::string name = mode;
  if (name == "software") return setenv("SDL_VIDEODRIVER", "dummy", 1) == 0;
  if (name == "offscreen") return setenv("SDL_VIDEODRIVER", "offscreen", 1) == 0;
  if (name != "xvfb" || !startXvfb("1280x1024x24", server)) return false;
  setenv("DISPLAY", server->display.c_str(), 1);
  return setenv("SDL_VIDEODRIVER", "x11", 1) == 0;
}
