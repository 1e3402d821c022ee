#include "platform/ComActivation.h"

#include <objbase.h>
#include <windows.h>

#include <cstdio>

namespace platform {

void* createRegisteredObject(const std::string& clsidText, std::string& error) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring wide(clsidText.begin(), clsidText.end());
    CLSID clsid;
    if (FAILED(CLSIDFromString(wide.c_str(), &clsid))) {
        error = "not a class identifier: " + clsidText;
        return nullptr;
    }
    void* object = nullptr;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, clsid, &object);
    if (FAILED(hr)) {
        char text[64];
        std::snprintf(text, sizeof text, "CoCreateInstance failed: 0x%08lX", static_cast<unsigned long>(hr));
        error = text;
        return nullptr;
    }
    return object;
}

void endRegisteredObjects() { CoUninitialize(); }

}  // namespace platform
