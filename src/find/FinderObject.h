#pragma once
// The finder a setup tool receives from DllVelmorafind: lists the targets the driver
// would see, tells where the settings files lie and which product and version this is.
// The slot order of asio_velmora_find_call is part of the module's interface: never reorder.

#include <cstdint>
#include <string>
#include <vector>

#include "find/Target.h"
#include "terno/Address.h"

namespace VELMORA {

class asio_velmora_find_call {
public:
    virtual ~asio_velmora_find_call() = default;                                   // slot 0
    virtual bool getTargets(TargetMap& targets, const std::vector<TERNO::Address>& extra,
                            uint16_t interfaceIndex) = 0;                             // slot 1
    virtual std::string getSettingPath() = 0;                                       // slot 2
    virtual std::string getFactoryPath() = 0;                                       // slot 3
    virtual uint64_t getProductID() = 0;                                            // slot 4
    virtual uint64_t getFindID() = 0;                                               // slot 5
    virtual std::string getChannel() = 0;                                           // slot 6
    virtual std::string getVersion() = 0;                                           // slot 7
};

}  // namespace VELMORA

// The finder object itself; DllVelmorafind returns `new asio_velmora_find()`.
class asio_velmora_find : public VELMORA::asio_velmora_find_call {
public:
    asio_velmora_find();
    ~asio_velmora_find() override;

    bool getTargets(VELMORA::TargetMap& targets, const std::vector<TERNO::Address>& extra,
                    uint16_t interfaceIndex) override;
    std::string getSettingPath() override;
    std::string getFactoryPath() override;
    uint64_t getProductID() override;
    uint64_t getFindID() override;
    std::string getChannel() override;
    std::string getVersion() override;

    uint64_t productID;
    uint64_t findID;
    std::string name;
    std::string channel;
    std::string versionText;
};
