// The driver object's identity and life: construction, destruction, IUnknown and the class table.

#include "driver/AsioVelmora.h"

#include <array>
#include <atomic>
#include <new>

#include "com/ModuleClasses.h"
#include "log/LogLine.h"
#include "log/LogSink.h"
#include "find/ProductTag.h"
#include "platform/Timer.h"

const CLSID CLSID_AsioVelmora = {0x5C2E8A17, 0x94D3, 0x4B6F, {0x8A, 0x21, 0x3E, 0x7D, 0x0F, 0x9B, 0x46, 0xC5}};

namespace com {
std::span<const ClassTableEntry> moduleClassTable() {
    static const std::array<ClassTableEntry, 1> table{{{L"ASIOTOLVENIK", &CLSID_AsioVelmora, &AsioVelmora::create, nullptr}}};
    return table;
}
}  // namespace com

AsioVelmora::AsioVelmora(IUnknown* outer, const SettingsEnvironment& environment) : CUnknown(outer) {
    // The log sink comes first so that reading the settings can already log.
    logSink = LogSink::create();
    productId = VELMORA::productID;
    findId = VELMORA::findID;
    settings.load(environment);
    timerRaised_ = platform::beginTimerResolution(1);
}

AsioVelmora::~AsioVelmora() {
    try {
        stopStream();
        LogLine(6) << "disposeBuffers";
        callbacks.store(nullptr);
        stopStream();
        releaseBuffers();
        if (timerRaised_) platform::endTimerResolution(1);
    } catch (...) {
        // A destructor called by the host's Release must not throw.
    }
}

namespace {
std::atomic<AsioVelmora::EnvironmentSource> environmentSource{&SettingsEnvironment::system};
}  // namespace

void AsioVelmora::setEnvironmentSource(EnvironmentSource source) {
    environmentSource.store(source ? source : &SettingsEnvironment::system, std::memory_order_relaxed);
}

com::CUnknown* AsioVelmora::create(IUnknown* outer, HRESULT* result) {
    try {
        return new AsioVelmora(outer, environmentSource.load(std::memory_order_relaxed)());
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (...) {
        *result = static_cast<HRESULT>(0x80004005u);   // E_FAIL: construction failed otherwise
        return nullptr;
    }
}

HRESULT AsioVelmora::QueryInterface(REFIID riid, void** ppv) { return outerUnknown()->QueryInterface(riid, ppv); }
ULONG AsioVelmora::AddRef() { return outerUnknown()->AddRef(); }
ULONG AsioVelmora::Release() { return outerUnknown()->Release(); }

HRESULT AsioVelmora::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return com::nullPointer;
    if (com::sameGuid(riid, CLSID_AsioVelmora)) {
        *ppv = static_cast<IASIO*>(this);
        static_cast<IASIO*>(this)->AddRef();
        return com::resultOk;
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}
