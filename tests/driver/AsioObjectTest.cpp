// The driver class behind the module's class table: IASIO under its CLSID, a destructor that
// copes with an object that never streamed, and IUnknown calls that reach an aggregating object.

#include <gtest/gtest.h>

#include <array>

#include "DriverHarness.h"
#include "com/ClassFactory.h"
#include "com/ModuleClasses.h"

namespace {

// Counts what reaches it and answers no interface.
struct Outer : IUnknown {
    int queries = 0, addRefs = 0, releases = 0;
    HRESULT VELMORA_STDCALL QueryInterface(REFIID, void** ppv) override {
        ++queries;
        *ppv = nullptr;
        return com::noInterface;
    }
    ULONG VELMORA_STDCALL AddRef() override { return static_cast<ULONG>(++addRefs); }
    ULONG VELMORA_STDCALL Release() override { return static_cast<ULONG>(++releases); }
};

TEST(AsioObject, InterfacesLifetimeAndAggregation) {
    drivertest::Driver keeper;   // new objects read private settings while it lives
    const std::int32_t before = com::objectCount();
    void* pointer = nullptr;
    ASSERT_EQ(com::getClassObject(com::moduleClassTable(), CLSID_AsioVelmora, IID_IClassFactory, &pointer),
              com::resultOk);
    auto* factory = static_cast<IClassFactory*>(pointer);

    ASSERT_EQ(factory->CreateInstance(nullptr, CLSID_AsioVelmora, &pointer), com::resultOk);
    auto* asio = static_cast<IASIO*>(pointer);
    void* again = nullptr;
    ASSERT_EQ(asio->QueryInterface(CLSID_AsioVelmora, &again), com::resultOk);
    EXPECT_EQ(again, pointer);
    EXPECT_EQ(asio->QueryInterface(CLSID_AsioVelmora, nullptr), com::nullPointer);
    EXPECT_EQ(asio->Release(), 1u);
    EXPECT_EQ(asio->Release(), 0u);
    EXPECT_EQ(com::objectCount(), before);

    // Aggregated: the inner object's own IUnknown only; what it hands out forwards to the outer.
    Outer outer;
    EXPECT_EQ(factory->CreateInstance(&outer, CLSID_AsioVelmora, &pointer), com::noInterface);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, &pointer), com::resultOk);
    auto* inner = static_cast<IUnknown*>(pointer);
    ASSERT_EQ(inner->QueryInterface(CLSID_AsioVelmora, &pointer), com::resultOk);
    auto* aggregated = static_cast<IASIO*>(pointer);
    aggregated->QueryInterface(IID_IUnknown, &again);
    aggregated->Release();
    EXPECT_EQ((std::array{outer.addRefs, outer.queries, outer.releases}), (std::array{1, 1, 1}));
    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(com::objectCount(), before);
    EXPECT_EQ(factory->Release(), 0u);
}

}  // namespace
