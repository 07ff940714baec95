// Keeps the GL dispatch libraries loaded for the life of a test program.
// SDL unloads libEGL/libGL when its last window goes, and the GL vendor
// library's allocations then look like leaks to LeakSanitizer, their owner
// being unmapped. Pinned, the owner stays and nothing is reported.
#include <dlfcn.h>
#include <link.h>

#include <string>

namespace {
struct PinGlLibraries {
  PinGlLibraries() {
    const char *const libraries[] = {"libEGL.so.1", "libGL.so.1", "libEGL_mesa.so.0", "libGLX_mesa.so.0",
                                     "libglapi.so.0"};
    for (const char *library : libraries) dlopen(library, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
    // Mesa's software driver, which Mesa loads from the dri folder beside it.
    void *mesa = dlopen("libEGL_mesa.so.0", RTLD_NOW | RTLD_NOLOAD);
    link_map *map = nullptr;
    if (mesa && dlinfo(mesa, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name) {
      std::string path = map->l_name;
      path = path.substr(0, path.rfind('/') + 1) + "dri/swrast_dri.so";
      dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
    }
  }
} pinGlLibraries;
}  // namespace
