#pragma once
// Loading a module (DLL or shared object) at run time and finding its exports.

#include <string>

namespace platform {

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary() { close(); }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Loads the module at a UTF-8 path; false with error() set when it cannot be loaded.
    bool open(const std::string& path);
    // The address of an exported function or object, or null.
    void* symbol(const char* name) const;
    void close();
    bool isOpen() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace platform
