#pragma once
// Reference counting and module-wide object counting for the module's COM objects.

#include <atomic>
#include <cstdint>

#include "com/ComTypes.h"

namespace com {

// The module's live-object count (atomic) and server lock count (host thread only).
std::int32_t objectCount();
std::int32_t lockCount();
void changeLockCount(bool lock);

// The non-delegating identity of an object that may be aggregated.
struct INonDelegatingUnknown {
    virtual HRESULT VELMORA_STDCALL NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG VELMORA_STDCALL NonDelegatingAddRef() = 0;
    virtual ULONG VELMORA_STDCALL NonDelegatingRelease() = 0;
};

class CUnknown : public INonDelegatingUnknown {
public:
    // outer: the aggregating object, or null to be our own outer unknown.
    explicit CUnknown(IUnknown* outer);
    virtual ~CUnknown();
    CUnknown(const CUnknown&) = delete;
    CUnknown& operator=(const CUnknown&) = delete;

    HRESULT VELMORA_STDCALL NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG VELMORA_STDCALL NonDelegatingAddRef() override;
    ULONG VELMORA_STDCALL NonDelegatingRelease() override;

    // Where the public IUnknown of a derived interface forwards to.
    IUnknown* outerUnknown() const { return outer_; }

private:
    // The object's own IUnknown: the non-delegating operations behind the IUnknown table. It is
    // what IID_IUnknown yields, and the outer unknown of an object that is not aggregated.
    struct Identity final : IUnknown {
        explicit Identity(CUnknown* object) : owner(object) {}
        HRESULT VELMORA_STDCALL QueryInterface(REFIID riid, void** ppv) override {
            return owner->NonDelegatingQueryInterface(riid, ppv);
        }
        ULONG VELMORA_STDCALL AddRef() override { return owner->NonDelegatingAddRef(); }
        ULONG VELMORA_STDCALL Release() override { return owner->NonDelegatingRelease(); }
        CUnknown* owner;
    };

    IUnknown* outer_;
    std::atomic<std::uint32_t> references_{0};
    Identity identity_{this};
};

}  // namespace com
