#include <gtest/gtest.h>

#include <array>

#include "com/ClassFactory.h"

namespace {

constexpr CLSID testClass = {0x5C2E8A17, 0x94D3, 0x4B6F, {0x8A, 0x21, 0x3E, 0x7D, 0x0F, 0x9B, 0x46, 0xC5}};
constexpr CLSID otherClass = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

// A class that answers one extra interface (its CLSID, as the driver does) besides IUnknown.
struct TestObject : com::CUnknown, IUnknown {
    static inline int destroyed = 0;
    explicit TestObject(IUnknown* outer) : CUnknown(outer) {}
    ~TestObject() override { ++destroyed; }
    HRESULT VELMORA_STDCALL QueryInterface(REFIID riid, void** ppv) override {
        return outerUnknown()->QueryInterface(riid, ppv);
    }
    ULONG VELMORA_STDCALL AddRef() override { return outerUnknown()->AddRef(); }
    ULONG VELMORA_STDCALL Release() override { return outerUnknown()->Release(); }
    HRESULT VELMORA_STDCALL NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (ppv && com::sameGuid(riid, testClass)) {
            *ppv = static_cast<IUnknown*>(this);
            static_cast<IUnknown*>(this)->AddRef();
            return com::resultOk;
        }
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
};

HRESULT createResult = com::resultOk;
com::CUnknown* createTest(IUnknown* outer, HRESULT* result) {
    *result = createResult;
    return new TestObject(outer);
}

const std::array<com::ClassTableEntry, 1> table{{{L"TEST", &testClass, &createTest, nullptr}}};

IClassFactory* factory() {
    void* ppv = nullptr;
    EXPECT_EQ(com::getClassObject(table, testClass, IID_IClassFactory, &ppv), com::resultOk);
    return static_cast<IClassFactory*>(ppv);
}

TEST(ClassFactory, GetClassObjectChecksTheInterfaceBeforeTheClass) {
    void* ppv = reinterpret_cast<void*>(1);
    EXPECT_EQ(com::getClassObject(table, otherClass, testClass, &ppv), com::noInterface);
    EXPECT_EQ(com::getClassObject(table, otherClass, IID_IClassFactory, &ppv), com::classNotAvailable);
    EXPECT_EQ(com::getClassObject(table, testClass, IID_IUnknown, &ppv), com::resultOk);
    auto* unknown = static_cast<IUnknown*>(ppv);
    EXPECT_EQ(unknown->Release(), 0u);
}

TEST(ClassFactory, FactoryAnswersOnlyItsInterfaces) {
    IClassFactory* f = factory();
    void* ppv = reinterpret_cast<void*>(1);
    EXPECT_EQ(f->QueryInterface(IID_IUnknown, nullptr), com::nullPointer);
    EXPECT_EQ(f->QueryInterface(testClass, &ppv), com::noInterface);
    EXPECT_EQ(ppv, nullptr);
    EXPECT_EQ(f->QueryInterface(IID_IClassFactory, &ppv), com::resultOk);
    EXPECT_EQ(f->Release(), 1u);
    EXPECT_EQ(f->Release(), 0u);
}

TEST(ClassFactory, CreateInstanceCountsObjectsAndDestroysOnFailedQuery) {
    IClassFactory* f = factory();
    const int before = TestObject::destroyed;
    void* ppv = nullptr;
    EXPECT_EQ(f->CreateInstance(nullptr, testClass, nullptr), com::nullPointer);

    // An interface the object does not have: the new object is gone again.
    EXPECT_EQ(f->CreateInstance(nullptr, otherClass, &ppv), com::noInterface);
    EXPECT_EQ(TestObject::destroyed, before + 1);
    EXPECT_EQ(com::objectCount(), 0);

    ASSERT_EQ(f->CreateInstance(nullptr, testClass, &ppv), com::resultOk);
    EXPECT_EQ(com::objectCount(), 1);
    EXPECT_EQ(com::canUnloadNow(), com::resultFalse);
    auto* object = static_cast<IUnknown*>(ppv);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(com::objectCount(), 0);
    EXPECT_EQ(com::canUnloadNow(), com::resultOk);
    f->Release();
}

TEST(ClassFactory, CreateFailureResultDestroysTheObject) {
    IClassFactory* f = factory();
    const int before = TestObject::destroyed;
    createResult = com::outOfMemory;
    void* ppv = nullptr;
    EXPECT_EQ(f->CreateInstance(nullptr, testClass, &ppv), com::outOfMemory);
    createResult = com::resultOk;
    EXPECT_EQ(TestObject::destroyed, before + 1);
    EXPECT_EQ(com::objectCount(), 0);
    f->Release();
}

// An outer object that owns the aggregated driver and hands out its IUnknown.
struct Outer : IUnknown {
    ULONG count = 1;
    HRESULT VELMORA_STDCALL QueryInterface(REFIID, void** ppv) override {
        *ppv = this;
        ++count;
        return com::resultOk;
    }
    ULONG VELMORA_STDCALL AddRef() override { return ++count; }
    ULONG VELMORA_STDCALL Release() override { return --count; }
};

TEST(ClassFactory, AggregationGivesTheInnerUnknownAndForwardsToTheOuter) {
    IClassFactory* f = factory();
    Outer outer;
    void* ppv = nullptr;
    EXPECT_EQ(f->CreateInstance(&outer, testClass, &ppv), com::noInterface);
    ASSERT_EQ(f->CreateInstance(&outer, IID_IUnknown, &ppv), com::resultOk);
    auto* inner = static_cast<IUnknown*>(ppv);   // the inner object's own IUnknown

    void* asTest = nullptr;
    ASSERT_EQ(inner->QueryInterface(testClass, &asTest), com::resultOk);
    auto* forwarded = static_cast<IUnknown*>(asTest);
    const ULONG outerBefore = outer.count;
    forwarded->AddRef();   // counted on the outer object, not the inner one
    EXPECT_EQ(outer.count, outerBefore + 1);
    forwarded->Release();
    forwarded->Release();
    EXPECT_EQ(com::objectCount(), 1);
    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(com::objectCount(), 0);
    f->Release();
}

TEST(ClassFactory, LockServerKeepsTheModuleLoaded) {
    IClassFactory* f = factory();
    EXPECT_EQ(f->LockServer(1), com::resultOk);
    EXPECT_EQ(com::canUnloadNow(), com::resultFalse);
    EXPECT_EQ(f->LockServer(0), com::resultOk);
    EXPECT_EQ(com::canUnloadNow(), com::resultOk);
    f->Release();
}

}  // namespace
