// Windows: the driver module registered for the driver's class, as the driver's setup tool
// finds it; an unregistered driver is looked for as ASIOVelmora.dll by the system's search.
#include "FinderSource.h"
#include "common/DriverClassId.h"
#include "platform/Registry.h"

bool FinderSource::openDefault() {
    const auto registered = platform::registryGetString(
        platform::RegistryRoot::ClassesRoot, std::string("CLSID\\") + velmoraClassId + "\\InprocServer32", "", 4096);
    return openModule(registered && !registered->empty() ? *registered : "ASIOVelmora.dll");
}
