// The 3D library's operations that the system calls, on SDL2's renderer.
//
// Owns: contexts, texture objects, the draw region (which of the two frame
// halves drawing lands in), the hardware lock flag of the library, and the
// gathering of triangles into runs that share a texture. A run is drawn by
// the context's backend when the texture changes, the run is full, or the
// draw region changes: by the GPU as one SDL_RenderGeometry call, or, when
// the bitmap's halves are in memory, kept with the frame's other runs and
// filled by our own CPU rasteriser at the flush (context.h).
// Leaves to others: the window and the halves themselves (display), the
// batch of quads (draw), the order of calls in a frame (screens).
//
// Triangles are queued, not drawn at once: whoever touches the halves
// directly (showing a half, erasing it) calls W3D_Flush first.
//
// Colour of a drawn pixel = texel x vertex grey level; alpha = texel alpha x
// vertex alpha; blended as source*a + destination*(1-a); bilinear filtering.
// Colour bytes are rounded (an alpha of 0.0078 is 2/255). Texture
// coordinates are texels and repeat where SDL can follow: a triangle lying
// wholly in another period of the texture is drawn from the first one; one
// that spans a texture edge is clamped. A triangle whose texture is null is
// not drawn, nor one drawn outside the hardware lock (W3D_NOTLOCKED).
#pragma once

#include <cstdint>
#include <initializer_list>

struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Rect;

struct W3D_Context;  // opaque: one per display
struct W3D_Texture;  // opaque: one per texture slot

struct W3D_Color {
  float r, g, b, a;  // 0..1
};

struct W3D_Vertex {
  float x, y;       // pixels of the drawing half, 0,0 top left
  double z;         // depth (the batch never lets it be 0)
  float w;          // 1/z
  float u, v;       // texels, 0..width across the texture
  float tex3d;      // unused
  W3D_Color color;  // vertex colour; the system sets r = g = b = brightness
  W3D_Color spec;   // unused
};

struct W3D_Triangle {
  W3D_Vertex v1, v2, v3;
  W3D_Texture *tex;      // null: the triangle is not drawn
  const uint8_t *st_pattern;  // unused
};

struct W3D_Scissor {
  uint32_t left, top, width, height;
};

struct W3D_Fog {
  float fog_start, fog_end, fog_density;
  float fog_r, fog_g, fog_b;
};

// A tag list item, as the library's tag calls take them.
struct W3D_Tag {
  uint32_t tag;
  uintptr_t data;
};

// Results and error words.
constexpr int32_t W3D_SUCCESS = 0;
constexpr int32_t W3D_ILLEGALINPUT = -2;
constexpr int32_t W3D_NOMEMORY = -3;
constexpr int32_t W3D_NODRIVER = -4;
constexpr int32_t W3D_ILLEGALBITMAP = -18;
constexpr int32_t W3D_UNSUPPORTEDTEXSIZE = -19;
constexpr int32_t W3D_NOTVISIBLE = -22;
constexpr int32_t W3D_NOPALETTE = -24;
constexpr int32_t W3D_UNSUPPORTEDTEXFMT = -28;
constexpr int32_t W3D_NOTLOCKED = -40;      // drawing outside the hardware lock
constexpr int32_t W3D_ALREADYLOCKED = -41;  // the lock is already held
constexpr int32_t W3D_NOTEXTURE = -42;      // a triangle without texture: not drawn
constexpr int32_t W3D_UNSUPPORTEDBLEND = -43;

// W3D_CheckDriver flag bits.
constexpr uint32_t W3D_DRIVER_UNAVAILABLE = 1u << 0;

// W3D_SetState.
constexpr uint32_t W3D_ENABLE = 1;
constexpr uint32_t W3D_DISABLE = 2;
constexpr uint32_t W3D_AUTOTEXMANAGEMENT = 0x2;
constexpr uint32_t W3D_FAST = 0x40;
constexpr uint32_t W3D_TEXMAPPING = 0x100;
constexpr uint32_t W3D_GOURAUD = 0x400;
constexpr uint32_t W3D_BLENDING = 0x2000;
constexpr uint32_t W3D_DITHERING = 0x80000;

// W3D_SetBlendMode factors.
constexpr uint32_t W3D_SRC_ALPHA = 7;
constexpr uint32_t W3D_ONE_MINUS_SRC_ALPHA = 8;

// Texture formats.
constexpr uint32_t W3D_A8R8G8B8 = 6;

// Tags of W3D_AllocTexObjTags.
constexpr uint32_t W3D_ATO_IMAGE = 0x80001001;
constexpr uint32_t W3D_ATO_FORMAT = 0x80001002;
constexpr uint32_t W3D_ATO_WIDTH = 0x80001003;
constexpr uint32_t W3D_ATO_HEIGHT = 0x80001004;
constexpr uint32_t W3D_ATO_MIPMAP = 0x80001005;

// Tags of W3D_RequestModeTags and W3D_CreateContextTags (values are ours).
constexpr uint32_t W3D_SMR_TYPE = 0x80002001;
constexpr uint32_t W3D_SMR_SIZEFILTER = 0x80002002;
constexpr uint32_t W3D_SMR_DESTFMT = 0x80002003;
constexpr uint32_t ASLSM_MinWidth = 0x80002011;
constexpr uint32_t ASLSM_MaxWidth = 0x80002012;
constexpr uint32_t ASLSM_MinHeight = 0x80002013;
constexpr uint32_t ASLSM_MaxHeight = 0x80002014;
constexpr uint32_t W3D_CC_MODEID = 0x80003001;
constexpr uint32_t W3D_CC_BITMAP = 0x80003002;
constexpr uint32_t W3D_CC_YOFFSET = 0x80003003;
constexpr uint32_t W3D_CC_DRIVERTYPE = 0x80003004;
constexpr uint32_t W3D_CC_DOUBLEHEIGHT = 0x80003005;
constexpr uint32_t W3D_CC_FAST = 0x80003006;

// Display mode IDs that W3D_RequestModeTags gives: 4:3 sizes that fit the
// desktop. -1 (W3D_NOMODE) = no mode found.
constexpr uint32_t W3D_NOMODE = 0xFFFFFFFFu;
// The nominal rectangle of a mode, corners included (16-bit as the display
// database gives it).
struct W3D_ModeRect {
  int16_t MinX, MinY, MaxX, MaxY;
};

// The double-height surface a context renders into: two halves of one
// renderer, each width x height, that keep their pixels. Y offset 0 of a
// draw region is half 0 (the upper), y offset height is half 1.
// Drawn by the GPU, the halves are render targets. Drawn on the CPU (the
// renderer is a CPU rasteriser itself), pixels holds them in memory and
// half[] are plain textures that take a copy when a half is shown.
struct W3D_Bitmap {
  SDL_Renderer *renderer;
  SDL_Texture *half[2];
  int32_t width, height;  // pixels of one half
  uint32_t *pixels[2];    // A8R8G8B8, width x height each; null when the GPU draws
};

// Drawn on the CPU, a frame whose triangles cover more pixels than this is
// drawn by two threads, each taking every other row.
extern double W3D_SHARED_FRAME_PIXELS;
// Sets rect (null: the whole half) of a half to opaque black, on either kind
// of bitmap. Queued triangles must have been flushed.
void W3D_EraseHalf(W3D_Bitmap *bitmap, int half, const SDL_Rect *rect);
// The texture to copy to the window to show a half (brought up to date
// first when the CPU draws).
SDL_Texture *W3D_ShowableHalf(W3D_Bitmap *bitmap, int half);
// Reads a whole half into width x height A8R8G8B8 words; false: SDL's error.
bool W3D_ReadHalf(W3D_Bitmap *bitmap, int half, uint32_t *pixels);

// The sixteen operations. Signatures follow the library; tag lists are
// brace-enclosed lists of W3D_Tag.
uint32_t W3D_CheckDriver();
W3D_Context *W3D_CreateContextTags(int32_t *error, std::initializer_list<W3D_Tag> tags);
uint32_t W3D_SetState(W3D_Context *context, uint32_t state, uint32_t action);
uint32_t W3D_SetBlendMode(W3D_Context *context, uint32_t srcFunc, uint32_t dstFunc);
uint32_t W3D_SetFogParams(W3D_Context *context, const W3D_Fog *fog, uint32_t fogMode);
uint32_t W3D_SetCurrentColor(W3D_Context *context, const W3D_Color *color);
uint32_t W3D_SetDrawRegion(W3D_Context *context, W3D_Bitmap *bitmap, int32_t yOffset, const W3D_Scissor *scissor);
void W3D_SetScissor(W3D_Context *context, const W3D_Scissor *scissor);
uint32_t W3D_LockHardware(W3D_Context *context);
void W3D_UnLockHardware(W3D_Context *context);
W3D_Texture *W3D_AllocTexObjTags(W3D_Context *context, int32_t *error, std::initializer_list<W3D_Tag> tags);
uint32_t W3D_UploadTexture(W3D_Context *context, W3D_Texture *texture);
uint32_t W3D_DrawTriangle(W3D_Context *context, const W3D_Triangle *triangle);
void W3D_FreeTexObj(W3D_Context *context, W3D_Texture *texture);
void W3D_DestroyContext(W3D_Context *context);
// Hands the queued triangles to SDL now (before a half is shown or erased).
void W3D_Flush(W3D_Context *context);

// What the library has done so far on a context, for tests and benchmarks.
struct W3D_Stats {
  uint64_t triangleCalls;   // W3D_DrawTriangle calls
  uint64_t trianglesDrawn;  // of those, the ones with a texture
  uint64_t geometryRuns;    // SDL_RenderGeometry calls made
  uint64_t locks;           // successful W3D_LockHardware calls
  uint64_t unlocks;         // W3D_UnLockHardware calls
  uint64_t pixelsCovered;   // CPU drawing: pixels inside the drawn triangles
  uint64_t pixelsWritten;   // CPU drawing: of those, the ones changed or blended
};
const W3D_Stats *W3D_GetStats(const W3D_Context *context);

// The data of tag in tags, or fallback when it is not there.
uintptr_t w3d_TagValue(std::initializer_list<W3D_Tag> tags, uint32_t tag, uintptr_t fallback);

// Test hook: when set, called with "lock", "unlock" or "draw" as each of
// those operations runs, so a test can see their order.
extern void (*W3D_TraceHook)(const char *operation);
