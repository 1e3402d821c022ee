#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "com/Registration.h"
#include "platform/Environment.h"
#include "settings/TempFolder.h"

namespace {

using platform::RegistryRoot;

constexpr CLSID driverClass = {0x5C2E8A17, 0x94D3, 0x4B6F, {0x8A, 0x21, 0x3E, 0x7D, 0x0F, 0x9B, 0x46, 0xC5}};
const std::string classKey = "CLSID\\{5C2E8A17-94D3-4B6F-8A21-3E7D0F9B46C5}";
const std::string serverKey = classKey + "\\InprocServer32";
const std::string asioKey = "SOFTWARE\\ASIO\\TOLVENIK Velmora";

// Natively the registry stand-in lives in a private folder; under Wine this is the prefix's registry.
class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setEnvironment("VELMORA_REGISTRY_DIR", folder_.path());
        com::unregisterServer(inputs("c:\\any.dll"));
    }
    void TearDown() override { com::unregisterServer(inputs("c:\\any.dll")); }
    static com::RegistrationInputs inputs(const std::string& path) {
        static int anchor;
        auto result = com::registrationInputs(&anchor, path, driverClass);
        return std::get<com::RegistrationInputs>(result);
    }
    static std::string value(RegistryRoot root, const std::string& key, const std::string& name) {
        return platform::registryGetString(root, key, name, 400).value_or("<missing>");
    }
    TempFolder folder_;
};

TEST_F(Registration, InputsFailInOrder) {
    int anchor;
    EXPECT_EQ(std::get<int>(com::registrationInputs(nullptr, "", driverClass)), com::noModuleHandle);
    EXPECT_EQ(std::get<int>(com::registrationInputs(&anchor, "", driverClass)), com::noModulePath);
    const auto in = inputs("C:\\Program Files\\Velmora\\ASIOVelmora.DLL");
    EXPECT_EQ(in.modulePath, "c:\\program files\\velmora\\asiovelmora.dll");
    EXPECT_EQ(in.classIdText, "{5C2E8A17-94D3-4B6F-8A21-3E7D0F9B46C5}");
    // Up to 360 characters (not bytes); a longer path is refused, never cut to another file's.
    const std::string folder = "c:\\" + std::string(351, 'x') + "\\";
    EXPECT_EQ(inputs(folder + "\xC3\x85.dll").modulePath.size(), 360u + 1);
    EXPECT_EQ(std::get<int>(com::registrationInputs(&anchor, folder + "ab.dll", driverClass)), com::noModulePath);
}

TEST_F(Registration, OutcomeSaysWhetherTheRegistryNamesTheModule) {
    const auto in = inputs("C:\\Drivers\\ASIOVelmora.dll");
    EXPECT_EQ(com::registrationOutcome(in, true), com::selfRegClassError);
    EXPECT_EQ(com::registrationOutcome(in, false), 0);
    com::registerServer(in);
    EXPECT_EQ(com::registrationOutcome(in, true), 0);
    EXPECT_EQ(com::registrationOutcome(inputs("c:\\other\\asiovelmora.dll"), true), com::selfRegClassError);
    EXPECT_EQ(com::registrationOutcome(in, false), com::selfRegClassError);
    platform::registrySetString(RegistryRoot::LocalMachine, asioKey, "CLSID", "{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(com::registrationOutcome(in, true), com::selfRegClassError);
}

// Registering writes both entries; again at the same path (case aside) it keeps the class keys
// and rebuilds the driver key; at a new path it replaces the class keys with all below them.
// Unregistering removes everything of ours and is harmless twice.
TEST_F(Registration, RegisterAgainAndUnregister) {
    EXPECT_EQ(com::registerServer(inputs("C:\\A\\ASIOVelmora.dll")), 0);
    EXPECT_EQ(value(RegistryRoot::ClassesRoot, classKey, ""), "TOLVENIK Velmora");
    EXPECT_EQ(value(RegistryRoot::ClassesRoot, serverKey, ""), "c:\\a\\asiovelmora.dll");
    EXPECT_EQ(value(RegistryRoot::ClassesRoot, serverKey, "ThreadingModel"), "Apartment");
    EXPECT_EQ(value(RegistryRoot::LocalMachine, asioKey, "CLSID"), "{5C2E8A17-94D3-4B6F-8A21-3E7D0F9B46C5}");
    EXPECT_EQ(value(RegistryRoot::LocalMachine, asioKey, "Description"), "TOLVENIK Velmora");

    // Marks that show which keys were rebuilt.
    platform::registrySetString(RegistryRoot::ClassesRoot, classKey, "Mark", "kept");
    platform::registrySetString(RegistryRoot::LocalMachine, asioKey, "Mark", "stale");
    ASSERT_TRUE(platform::registryCreateKey(RegistryRoot::ClassesRoot, serverKey, "Leftover"));
    com::registerServer(inputs("c:\\a\\asiovelmora.dll"));
    EXPECT_EQ(value(RegistryRoot::ClassesRoot, classKey, "Mark"), "kept");
    EXPECT_EQ(value(RegistryRoot::LocalMachine, asioKey, "Mark"), "<missing>");

    com::registerServer(inputs("c:\\new\\asiovelmora.dll"));
    EXPECT_EQ(value(RegistryRoot::ClassesRoot, serverKey, ""), "c:\\new\\asiovelmora.dll");
    EXPECT_EQ(value(RegistryRoot::ClassesRoot, classKey, "Mark"), "<missing>");
    EXPECT_FALSE(platform::registryKeyExists(RegistryRoot::ClassesRoot, serverKey + "\\Leftover"));

    EXPECT_EQ(com::unregisterServer(inputs("c:\\new\\asiovelmora.dll")), 0);
    EXPECT_FALSE(platform::registryKeyExists(RegistryRoot::ClassesRoot, classKey));
    EXPECT_FALSE(platform::registryKeyExists(RegistryRoot::LocalMachine, asioKey));
    EXPECT_TRUE(platform::registryKeyExists(RegistryRoot::LocalMachine, "SOFTWARE\\ASIO"));
    EXPECT_EQ(com::unregisterServer(inputs("c:\\new\\asiovelmora.dll")), 0);
    EXPECT_EQ(com::deleteKeyRecursive(RegistryRoot::LocalMachine, "SOFTWARE\\ASIO", "TOLVENIK Velmora"), -1);
}

}  // namespace
