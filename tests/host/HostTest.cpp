// The driver as an ASIO host meets it: the module registers itself, the host lists
// HKEY_LOCAL_MACHINE\SOFTWARE\ASIO, creates the object from the CLSID found there through the
// system's COM activation (CoCreateInstance on Windows) and calls IASIO through its table.
//
// The module lies beside this program. Natively the registry is the folder stand-in in a
// private folder; under Windows (Wine) the real registry of the current prefix is used, so the
// test refuses to run where the driver is already registered and unregisters afterwards.

#include <gtest/gtest.h>

#include <algorithm>

#include "com/Asio.h"
#include "com/ComTypes.h"
#include "platform/ComActivation.h"
#include "platform/Environment.h"
#include "platform/Files.h"
#include "platform/Library.h"
#include "platform/Registry.h"
#include "settings/TempFolder.h"

using platform::RegistryRoot;

namespace {

const std::string driverName = "TOLVENIK Velmora";
const std::string driverEntry = "SOFTWARE\\ASIO\\" + driverName;
const std::string classKey = "CLSID\\{5C2E8A17-94D3-4B6F-8A21-3E7D0F9B46C5}";

using Routine = HRESULT(VELMORA_STDCALL*)();
// What the registration exports return when their routine succeeded (S_OK).
constexpr HRESULT registrationDone = 0;

class Host : public ::testing::Test {
protected:
    void SetUp() override {
        // Native runs: registry stand-in and settings in a private folder.
        platform::setEnvironment("VELMORA_REGISTRY_DIR", privateFolder_ / "registry");
        platform::setEnvironment("XDG_CONFIG_HOME", privateFolder_ / "config");

        if (platform::registryKeyExists(RegistryRoot::LocalMachine, driverEntry))
            GTEST_SKIP() << "the driver is already registered here; not touching that registration";
        modulePath_ = platform::moduleFolder() + VELMORA_MODULE_FILE;
        ASSERT_TRUE(module_.open(modulePath_)) << module_.error();
        registerServer_ = reinterpret_cast<Routine>(module_.symbol("DllRegisterServer"));
        unregisterServer_ = reinterpret_cast<Routine>(module_.symbol("DllUnregisterServer"));
        canUnloadNow_ = reinterpret_cast<Routine>(module_.symbol("DllCanUnloadNow"));
        ASSERT_TRUE(registerServer_ && unregisterServer_ && canUnloadNow_);
        registered_ = true;
        ASSERT_EQ(registerServer_(), registrationDone);
    }

    void TearDown() override {
        if (registered_) {
            EXPECT_EQ(unregisterServer_(), registrationDone);
            EXPECT_FALSE(platform::registryKeyExists(RegistryRoot::LocalMachine, driverEntry)) << "left registered";
        }
        module_.close();
    }

    TempFolder privateFolder_;
    std::string modulePath_;
    platform::SharedLibrary module_;
    Routine registerServer_ = nullptr, unregisterServer_ = nullptr, canUnloadNow_ = nullptr;
    bool registered_ = false;
};

TEST_F(Host, RegistrationMakesTheDriverListedAndCreatable) {
    // The entries a host and COM look at.
    const auto drivers = platform::registrySubKeys(RegistryRoot::LocalMachine, "SOFTWARE\\ASIO");
    ASSERT_NE(std::find(drivers.begin(), drivers.end(), driverName), drivers.end());
    const auto clsid = platform::registryGetString(RegistryRoot::LocalMachine, driverEntry, "CLSID", 128);
    ASSERT_TRUE(clsid.has_value());
    EXPECT_EQ("CLSID\\" + *clsid, classKey);

    // Created from the CLSID found in the list, as a host does, from the module InprocServer32
    // names (its lower-case form is the registration test's); called across the table (the
    // answers of IASIO are the driver tests' business, here the calls reach the right entries).
    std::string error;
    auto* asio = static_cast<IASIO*>(platform::createRegisteredObject(*clsid, error));
    ASSERT_NE(asio, nullptr) << error;
    EXPECT_EQ(canUnloadNow_(), static_cast<HRESULT>(1));   // S_FALSE while the object lives
    EXPECT_EQ(asio->getDriverVersion(), 1);
    std::int32_t sizes[4] = {};
    EXPECT_EQ(asio->getBufferSize(&sizes[0], &sizes[1], &sizes[2], &sizes[3]), ASE_OK);
    EXPECT_EQ(sizes[2], 512);
    EXPECT_EQ(asio->Release(), 0u);
    EXPECT_EQ(canUnloadNow_(), static_cast<HRESULT>(0));
    platform::endRegisteredObjects();
}

}  // namespace
