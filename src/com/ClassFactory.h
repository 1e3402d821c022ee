#pragma once
// The class table and the factory that creates its classes.

#include <cstddef>
#include <cstdint>
#include <span>

#include "com/Unknown.h"

namespace com {

struct ClassTableEntry {
    const wchar_t* name;
    const CLSID* clsid;
    // Constructs the object with the given outer unknown; returns its non-delegating part, or null.
    CUnknown* (*create)(IUnknown* outer, HRESULT* result);
    // Called with (true, clsid) at process attach and (false, clsid) at detach when present.
    void (*init)(bool loading, const CLSID* clsid);
};

class CClassFactory final : public IClassFactory {
public:
    explicit CClassFactory(const ClassTableEntry* entry) : entry_(entry) {}

    HRESULT VELMORA_STDCALL QueryInterface(REFIID riid, void** ppv) override;
    ULONG VELMORA_STDCALL AddRef() override;
    ULONG VELMORA_STDCALL Release() override;
    HRESULT VELMORA_STDCALL CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    HRESULT VELMORA_STDCALL LockServer(BOOL lock) override;

private:
    const ClassTableEntry* entry_;
    std::uint32_t references_ = 0;   // host thread only
};

// DllGetClassObject over a class table.
HRESULT getClassObject(std::span<const ClassTableEntry> table, REFCLSID rclsid, REFIID riid, void** ppv);

// DllCanUnloadNow: S_FALSE while an object or a server lock exists.
HRESULT canUnloadNow();

}  // namespace com
