#include "FinderSource.h"

FinderSource::~FinderSource() { delete finder_; }

bool FinderSource::openModule(const std::string& modulePath) {
    if (!module_.open(modulePath)) {
        error_ = "cannot load " + modulePath + ": " + module_.error();
        return false;
    }
    using Export = VELMORA::asio_velmora_find_call* (*)();
    const auto create = reinterpret_cast<Export>(module_.symbol("DllVelmorafind"));
    if (!create) {
        error_ = modulePath + " has no DllVelmorafind export";
        return false;
    }
    finder_ = create();
    if (!finder_) {
        error_ = "DllVelmorafind of " + modulePath + " returned no finder";
        return false;
    }
    origin_ = modulePath;
    return true;
}
