#include "platform/ComActivation.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "platform/Registry.h"

namespace platform {
namespace {

// A class identifier as it lies in memory.
struct Guid {
    uint32_t data1;
    uint16_t data2, data3;
    uint8_t data4[8];
};

bool parseGuid(const std::string& text, Guid& guid) {
    unsigned d[11];
    if (std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d[0], &d[1], &d[2], &d[3], &d[4], &d[5],
                    &d[6], &d[7], &d[8], &d[9], &d[10]) != 11)
        return false;
    guid.data1 = d[0];
    guid.data2 = static_cast<uint16_t>(d[1]);
    guid.data3 = static_cast<uint16_t>(d[2]);
    for (int i = 0; i < 8; ++i) guid.data4[i] = static_cast<uint8_t>(d[3 + i]);
    return true;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Registration stores module paths in lower case, as Windows compares them; find the file whose
// path matches without regard to case, one component at a time.
std::string resolveCaseInsensitive(const std::string& path) {
    namespace fs = std::filesystem;
    if (fs::exists(path)) return path;
    fs::path resolved = "/";
    for (const auto& part : fs::path(path).relative_path()) {
        fs::path next = resolved / part;
        if (!fs::exists(next)) {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(resolved, ec))
                if (lower(entry.path().filename().string()) == lower(part.string())) next = entry.path();
        }
        resolved = next;
    }
    return resolved.string();
}

// The module's class factory seen through COM's C binding: a pointer to its table of IUnknown's
// three slots, CreateInstance and LockServer, each taking the object first. The module's C++
// class is not known here, so no C++ call could name its type.
struct ClassFactoryTable {
    int32_t (*queryInterface)(void* self, const Guid& iid, void** object);
    uint32_t (*addRef)(void* self);
    uint32_t (*release)(void* self);
    int32_t (*createInstance)(void* self, void* outer, const Guid& iid, void** object);
    int32_t (*lockServer)(void* self, int32_t lock);
};

}  // namespace

void* createRegisteredObject(const std::string& clsidText, std::string& error) {
    Guid clsid{};
    if (!parseGuid(clsidText, clsid)) {
        error = "not a class identifier: " + clsidText;
        return nullptr;
    }
    const auto path = registryGetString(RegistryRoot::ClassesRoot, "CLSID\\" + clsidText + "\\InprocServer32", "", 4096);
    if (!path) {
        error = "class " + clsidText + " is not registered";
        return nullptr;
    }
    // Like COM, the module stays loaded for the life of the process.
    void* module = dlopen(resolveCaseInsensitive(*path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        error = dlerror();
        return nullptr;
    }
    using GetClassObject = int32_t (*)(const Guid&, const Guid&, void**);
    auto getClassObject = reinterpret_cast<GetClassObject>(dlsym(module, "DllGetClassObject"));
    if (!getClassObject) {
        error = "the module has no DllGetClassObject";
        return nullptr;
    }
    const Guid classFactory{0x00000001, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    void* factoryPointer = nullptr;
    if (getClassObject(clsid, classFactory, &factoryPointer) != 0 || !factoryPointer) {
        error = "DllGetClassObject failed";
        return nullptr;
    }
    const ClassFactoryTable& factory = **static_cast<ClassFactoryTable**>(factoryPointer);
    void* object = nullptr;
    const int32_t result = factory.createInstance(factoryPointer, nullptr, clsid, &object);
    factory.release(factoryPointer);
    if (result != 0 || !object) {
        error = "CreateInstance failed";
        return nullptr;
    }
    return object;
}

void endRegisteredObjects() {}

}  // namespace platform
