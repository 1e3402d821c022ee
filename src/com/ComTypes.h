#pragma once
// The few COM types the module uses. On Windows they are the system's own; elsewhere they are
// declared here with the same layout so that the same driver code builds for the Linux tests.

#include <cstdint>

#ifdef _WIN32
#include <objbase.h>
#include <unknwn.h>
#define VELMORA_STDCALL STDMETHODCALLTYPE
#else
#define VELMORA_STDCALL

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = std::int32_t;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;
};

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
#endif

namespace com {
inline constexpr HRESULT resultOk = 0;                                         // S_OK
inline constexpr HRESULT resultFalse = 1;                                      // S_FALSE
inline constexpr HRESULT noInterface = static_cast<HRESULT>(0x80004002u);      // E_NOINTERFACE
inline constexpr HRESULT nullPointer = static_cast<HRESULT>(0x80004003u);      // E_POINTER
inline constexpr HRESULT outOfMemory = static_cast<HRESULT>(0x8007000Eu);      // E_OUTOFMEMORY
inline constexpr HRESULT classNotAvailable = static_cast<HRESULT>(0x80040111u); // CLASS_E_CLASSNOTAVAILABLE
inline bool failed(HRESULT hr) { return hr < 0; }

inline bool sameGuid(const GUID& a, const GUID& b) {
    const auto* x = reinterpret_cast<const unsigned char*>(&a);
    const auto* y = reinterpret_cast<const unsigned char*>(&b);
    for (unsigned i = 0; i < sizeof(GUID); ++i)
        if (x[i] != y[i]) return false;
    return true;
}
}  // namespace com
