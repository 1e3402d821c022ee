#include "platform/Module.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>

namespace platform {
namespace {
// Any address inside this module identifies it to dladdr.
int anchor;
}  // namespace

const void* moduleHandle() {
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0) return nullptr;
    return info.dli_fbase;
}

std::string modulePath() {
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0 || !info.dli_fname) return {};
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved)) return resolved;
    return info.dli_fname;
}

}  // namespace platform
