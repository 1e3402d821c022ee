#include "com/Unknown.h"

namespace com {
namespace {
std::atomic<std::int32_t> liveObjects{0};
std::int32_t serverLocks = 0;
}  // namespace

std::int32_t objectCount() { return liveObjects.load(std::memory_order_relaxed); }
std::int32_t lockCount() { return serverLocks; }
void changeLockCount(bool lock) { serverLocks += lock ? 1 : -1; }

// An object that is not aggregated is its own outer unknown.
CUnknown::CUnknown(IUnknown* outer) : outer_(outer ? outer : &identity_) {
    liveObjects.fetch_add(1, std::memory_order_relaxed);
}

CUnknown::~CUnknown() { liveObjects.fetch_sub(1, std::memory_order_relaxed); }

HRESULT CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return nullPointer;
    if (sameGuid(riid, IID_IUnknown)) {
        *ppv = static_cast<IUnknown*>(&identity_);
        NonDelegatingAddRef();
        return resultOk;
    }
    *ppv = nullptr;
    return noInterface;
}

ULONG CUnknown::NonDelegatingAddRef() {
    const std::uint32_t count = references_.fetch_add(1, std::memory_order_relaxed) + 1;
    return count ? count : 1;
}

ULONG CUnknown::NonDelegatingRelease() {
    const std::uint32_t before = references_.fetch_sub(1, std::memory_order_acq_rel);
    if (before == 1) {
        // Hold the count at 1 so that a release during destruction cannot destroy twice.
        references_.store(1, std::memory_order_relaxed);
        delete this;
        return 0;
    }
    const std::uint32_t count = before - 1;
    return count ? count : 1;
}

}  // namespace com
