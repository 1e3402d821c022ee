// The shared object's counterpart of DllMain: the loader runs it at load and unload.

#include <cstdint>

#include "com/ModuleClasses.h"

extern "C" int DllMain(void*, std::uint32_t reason, void*) {
    com::moduleAttach(reason == 1);
    return 1;
}

namespace {
[[gnu::constructor]] void onLoad() { DllMain(nullptr, 1, nullptr); }
[[gnu::destructor]] void onUnload() { DllMain(nullptr, 0, nullptr); }
}  // namespace
