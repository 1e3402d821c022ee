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

class ClassFactory : public ::testing::Test {
protected:
    void SetUp() override {
        void* ppv = nullptr;
        ASSERT_EQ(com::getClassObject(table, testClass, IID_IClassFactory, &ppv), com::resultOk);
        factory = static_cast<IClassFactory*>(ppv);
        destroyedBefore = TestObject::destroyed;
    }
    void TearDown() override {
        if (factory) {
            EXPECT_EQ(factory->Release(), 0u);
        }
        EXPECT_EQ(com::objectCount(), 0);
        EXPECT_EQ(com::canUnloadNow(), com::resultOk);
    }
    IClassFactory* factory = nullptr;
    int destroyedBefore = 0;
};

TEST_F(ClassFactory, GetClassObjectAndTheFactoryAnswerOnlyTheirInterfacesAndLocks) {
    void* ppv = reinterpret_cast<void*>(1);
    // The interface is checked before the class.
    EXPECT_EQ(com::getClassObject(table, otherClass, testClass, &ppv), com::noInterface);
    EXPECT_EQ(com::getClassObject(table, otherClass, IID_IClassFactory, &ppv), com::classNotAvailable);
    ASSERT_EQ(com::getClassObject(table, testClass, IID_IUnknown, &ppv), com::resultOk);
    EXPECT_EQ(static_cast<IUnknown*>(ppv)->Release(), 0u);

    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), com::nullPointer);
    EXPECT_EQ(factory->QueryInterface(testClass, &ppv), com::noInterface);
    EXPECT_EQ(ppv, nullptr);
    EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, &ppv), com::resultOk);
    EXPECT_EQ(factory->Release(), 1u);
    // A lock keeps the module loaded without any object.
    EXPECT_EQ(factory->LockServer(1), com::resultOk);
    EXPECT_EQ(com::canUnloadNow(), com::resultFalse);
    EXPECT_EQ(factory->LockServer(0), com::resultOk);
}

TEST_F(ClassFactory, CreateInstanceCountsObjectsAndDestroysFailures) {
    void* ppv = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, testClass, nullptr), com::nullPointer);
    // An interface the object does not have: the new object is gone again.
    EXPECT_EQ(factory->CreateInstance(nullptr, otherClass, &ppv), com::noInterface);
    EXPECT_EQ(ppv, nullptr);
    EXPECT_EQ(TestObject::destroyed, destroyedBefore + 1);
    // A failure the create function reports: likewise.
    createResult = com::outOfMemory;
    EXPECT_EQ(factory->CreateInstance(nullptr, testClass, &ppv), com::outOfMemory);
    createResult = com::resultOk;
    EXPECT_EQ(TestObject::destroyed, destroyedBefore + 2);
    EXPECT_EQ(com::objectCount(), 0);
}

}  // namespace
