// regsvr32's view of registration under Windows: the exports fail where the registry does not
// end up naming the module, instead of reporting success.
//
// A read-only HKEY_LOCAL_MACHINE\SOFTWARE\ASIO stands in for a user without administrator
// rights; module copies in folders with non-ASCII names check the path written for hosts.

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <filesystem>

#include "com/ComTypes.h"
#include "platform/Files.h"
#include "platform/Library.h"
#include "platform/Registry.h"
#include "settings/TempFolder.h"

namespace {

namespace fs = std::filesystem;
using platform::RegistryRoot;
using Routine = HRESULT(VELMORA_STDCALL*)();

const std::string driverEntry = "SOFTWARE\\ASIO\\TOLVENIK Velmora";
const std::string classKey = "CLSID\\{5C2E8A17-94D3-4B6F-8A21-3E7D0F9B46C5}";
constexpr HRESULT accessDenied = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT classError = static_cast<HRESULT>(0x80040201u);

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool anythingRegistered() {
    return platform::registryKeyExists(RegistryRoot::LocalMachine, driverEntry) ||
           platform::registryKeyExists(RegistryRoot::ClassesRoot, classKey);
}

// The module copied into folder, loaded, with its two registration exports.
struct ModuleCopy {
    explicit ModuleCopy(const fs::path& folder) : file(folder / VELMORA_MODULE_FILE) {
        fs::create_directories(folder);
        fs::copy_file(fs::u8path(platform::moduleFolder() + VELMORA_MODULE_FILE), file,
                      fs::copy_options::overwrite_existing);
        if (!library.open(utf8(file))) return;
        registerServer = reinterpret_cast<Routine>(library.symbol("DllRegisterServer"));
        unregisterServer = reinterpret_cast<Routine>(library.symbol("DllUnregisterServer"));
    }
    fs::path file;
    platform::SharedLibrary library;
    Routine registerServer = nullptr, unregisterServer = nullptr;
};

class RegistrationTruth : public ::testing::Test {
protected:
    void SetUp() override {
        if (anythingRegistered()) GTEST_SKIP() << "the driver is already registered here; not touching it";
    }
    TempFolder temp_;
    const fs::path folder_ = fs::u8path(temp_.path());
};

TEST_F(RegistrationTruth, PathsWithLettersBeyondAscii) {
    struct Case {
        const char8_t* folder;
        HRESULT result;
    };
    // Å is in every Western ANSI code page; 音 is in none, and a look-alike would name no file.
    const Case cases[] = {{u8"Velmora Åudio", 0}, {u8"Velmora 音", classError}};
    for (const Case& c : cases) {
        SCOPED_TRACE(reinterpret_cast<const char*>(c.folder));
        ModuleCopy module(folder_ / c.folder);
        ASSERT_TRUE(module.registerServer && module.unregisterServer) << module.library.error();
        EXPECT_EQ(module.registerServer(), c.result);
        if (c.result != 0) {
            EXPECT_FALSE(anythingRegistered());
            continue;
        }
        // What a host reads through the wide registry functions names this very file.
        wchar_t server[1024];
        DWORD size = sizeof server;
        const std::wstring key = fs::path(classKey + "\\InprocServer32").wstring();
        ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, server, &size),
                  ERROR_SUCCESS);
        EXPECT_TRUE(fs::equivalent(fs::path(server), module.file)) << utf8(server);
        EXPECT_EQ(module.unregisterServer(), 0);
        EXPECT_FALSE(anythingRegistered());
    }
}

TEST_F(RegistrationTruth, ReadOnlyDriverListIsAccessDenied) {
    ModuleCopy module(folder_);
    ASSERT_TRUE(module.registerServer && module.unregisterServer) << module.library.error();
    HKEY asio = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO", 0, nullptr, 0, KEY_READ | READ_CONTROL | WRITE_DAC,
                              nullptr, &asio, nullptr),
              ERROR_SUCCESS);
    // Keep the key's own rights to put them back afterwards.
    DWORD size = 0;
    RegGetKeySecurity(asio, DACL_SECURITY_INFORMATION, nullptr, &size);
    std::string original(size, '\0');
    ASSERT_EQ(RegGetKeySecurity(asio, DACL_SECURITY_INFORMATION, original.data(), &size), ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly,
                                                                     nullptr));
    ASSERT_EQ(RegSetKeySecurity(asio, DACL_SECURITY_INFORMATION, readOnly), ERROR_SUCCESS);
    LocalFree(readOnly);

    EXPECT_EQ(module.registerServer(), accessDenied);
    EXPECT_FALSE(platform::registryKeyExists(RegistryRoot::LocalMachine, driverEntry));

    EXPECT_EQ(RegSetKeySecurity(asio, DACL_SECURITY_INFORMATION, original.data()), ERROR_SUCCESS);
    RegCloseKey(asio);
    EXPECT_EQ(module.unregisterServer(), 0);   // the class entry was written: HKCR is not protected here
    EXPECT_FALSE(anythingRegistered());
}

}  // namespace
