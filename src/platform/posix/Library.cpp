#include "platform/Library.h"

#include <dlfcn.h>

namespace platform {

bool SharedLibrary::open(const std::string& path) {
    close();
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* message = dlerror();
        error_ = message ? message : "cannot load " + path;
    }
    return handle_ != nullptr;
}

void* SharedLibrary::symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

void SharedLibrary::close() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
}

}  // namespace platform
