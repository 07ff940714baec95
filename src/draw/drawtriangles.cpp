// Submission of the frame's triangle batch to the library, inside the
// hardware lock. The only place where the batch meets the library; the lock
// itself belongs to the display.
#include "display/display.h"
#include "draw/batch.h"
#include "draw/textures.h"

namespace {

// Hands the lock back for a moment every this many triangles, so that the
// rest of the system is never kept out of the display for long.
constexpr int LOCK_BREAK_TRIANGLES = 16;

void toLibraryVertex(W3D_Vertex &out, const TriVertex &in) {
  out.x = in.x;
  out.y = in.y;
  out.z = in.z;
  out.w = in.w;
  out.u = in.u;
  out.v = in.v;
  out.color.r = out.color.g = out.color.b = in.brightness;
  out.color.a = in.alpha;
}

W3D_Texture *slotTexture(int32_t slot) { return slot >= 0 && slot < TEXTURE_SLOTS ? tex[slot] : nullptr; }

}  // namespace

void W3DDrawTriangles(W3D_Context *context) {
  if (W3DLockHardware(context) != 0) return;
  int count = triPos < BATCH_CAPACITY ? triPos : BATCH_CAPACITY;
  if (count <= 0) {
    W3DUnLockHardware(context);
    return;
  }
  // One triangle structure, reused for every call.
  W3D_Triangle triangle = {};
  for (int i = 0; i + 1 < count; i += 2) {
    if (i % LOCK_BREAK_TRIANGLES == 0) {
      W3DUnLockHardware(context);
      if (W3DLockHardware(context) != 0) return;  // not held: nothing to release
    }
    const TriRecord &quad = w3d_TriWorld[i];
    toLibraryVertex(triangle.v1, quad.v[0]);
    toLibraryVertex(triangle.v2, quad.v[1]);
    toLibraryVertex(triangle.v3, quad.v[2]);
    triangle.tex = slotTexture(quad.slot);
    W3D_DrawTriangle(context, &triangle);
    // The quad's second half: A, D, C, with D in the next record.
    toLibraryVertex(triangle.v2, w3d_TriWorld[i + 1].v[1]);
    W3D_DrawTriangle(context, &triangle);
  }
  W3DUnLockHardware(context);
}

void W3DShowFrame() {
  W3DDrawTriangles(w3d_Context);
  triPos = 0;
  W3DSwitchBuffer();
}
