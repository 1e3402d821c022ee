#pragma once
// Finds and creates the ASIO driver the way hosts do.

#include <string>

#include "com/Asio.h"
#include "common/DriverClassId.h"
#include "platform/Library.h"

class DriverLoader {
public:
    ~DriverLoader();

    // By name: the CLSID under HKEY_LOCAL_MACHINE\SOFTWARE\ASIO\<name>, then CoCreateInstance.
    IASIO* createRegistered(const std::string& driverName);
    // From a module file: load it and ask its DllGetClassObject for the class factory.
    IASIO* createFromModule(const std::string& modulePath, const std::string& clsidText);

    const std::string& error() const { return error_; }

private:
    platform::SharedLibrary module_;
    bool comStarted_ = false;
    std::string error_;
};
