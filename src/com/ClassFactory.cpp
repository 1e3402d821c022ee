#include "com/ClassFactory.h"

#include <new>

namespace com {

HRESULT CClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return nullPointer;
    *ppv = nullptr;
    if (sameGuid(riid, IID_IUnknown) || sameGuid(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return resultOk;
    }
    return noInterface;
}

ULONG CClassFactory::AddRef() { return ++references_; }

ULONG CClassFactory::Release() {
    const ULONG count = --references_;
    if (count == 0) delete this;
    return count;
}

HRESULT CClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return nullPointer;
    *ppv = nullptr;
    // An aggregated object can only hand its non-delegating IUnknown to its outer object.
    if (outer && !sameGuid(riid, IID_IUnknown)) return noInterface;

    HRESULT result = resultOk;
    CUnknown* object = entry_->create(outer, &result);
    if (!object) return outOfMemory;
    if (failed(result)) {
        delete object;
        return result;
    }
    // A failed query releases the only reference and so destroys the new object.
    object->NonDelegatingAddRef();
    result = object->NonDelegatingQueryInterface(riid, ppv);
    object->NonDelegatingRelease();
    return result;
}

HRESULT CClassFactory::LockServer(BOOL lock) {
    changeLockCount(lock != 0);
    return resultOk;
}

HRESULT getClassObject(std::span<const ClassTableEntry> table, REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!sameGuid(riid, IID_IUnknown) && !sameGuid(riid, IID_IClassFactory)) return noInterface;
    for (const ClassTableEntry& entry : table) {
        if (!sameGuid(*entry.clsid, rclsid)) continue;
        if (!ppv) return nullPointer;
        auto* factory = new (std::nothrow) CClassFactory(&entry);
        if (!factory) return outOfMemory;
        *ppv = static_cast<IClassFactory*>(factory);
        factory->AddRef();
        return resultOk;
    }
    return classNotAvailable;
}

HRESULT canUnloadNow() {
    return (lockCount() > 0 || objectCount() != 0) ? resultFalse : resultOk;
}

}  // namespace com
