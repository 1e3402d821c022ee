#pragma once
// Creating an object of a registered in-process COM class, as hosts do (CoCreateInstance).
// Outside Windows the stand-in follows the same road by hand: the class's InprocServer32 entry
// in the registry stand-in names the module, which is loaded and asked for its class factory.

#include <string>

namespace platform {

// clsidText: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; the object is asked for the interface of
// the same identifier (the ASIO convention). Returns the interface pointer, or null with error set.
void* createRegisteredObject(const std::string& clsidText, std::string& error);

// Undoes what createRegisteredObject set up in this thread (COM initialisation) once every
// object it made has been released.
void endRegisteredObjects();

}  // namespace platform
