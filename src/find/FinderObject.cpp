// The finder object handed out by DllVelmorafind.
#include "find/FinderObject.h"

#include "find/Find.h"
#include "find/ProductTag.h"
#include "platform/Files.h"

asio_velmora_find::asio_velmora_find()
    : productID(VELMORA::productID),
      findID(VELMORA::findID),
      name(VELMORA::productName),
      channel(),
      versionText(VELMORA::driverVersionText) {}

asio_velmora_find::~asio_velmora_find() = default;

bool asio_velmora_find::getTargets(VELMORA::TargetMap& targets,
                                   const std::vector<TERNO::Address>& extra,
                                   uint16_t interfaceIndex) {
    VELMORA::FindParams params;
    params.productFilter = productID;
    params.maxVersion = 1;
    params.name = name;
    params.nopBreak = false;
    VELMORA::Find find(params);
    // A failed open is not reported by itself: with no interface nothing is sent and the
    // list comes back empty; with an unusable socket the first wait fails below.
    find.open(interfaceIndex);
    find.extraDestinations = extra;

    targets.clear();
    VELMORA::TargetMap list;
    const bool complete = find.getTargetList(list);
    if (complete) {
        for (const auto& [streamAddress, found] : list) {
            VELMORA::Target& target = targets[streamAddress];
            target.productTag = found.productTag;
            target.reserved = found.reserved;
            target.outputIndex = found.outputIndex;
            target.version = found.version;
            target.description = found.description;
            if (!found.outputName.empty()) target.description += "(" + found.outputName + ")";
            target.infoText = found.infoText;
            target.findAddress = found.findAddress;
        }
    }
    return complete;
}

// Paths are composed with "\" as the settings code does; the file layer maps it on POSIX.
std::string asio_velmora_find::getSettingPath() {
    return platform::appDataFolder() + "\\" + name + "\\setting.inf";
}

std::string asio_velmora_find::getFactoryPath() { return platform::moduleFolder() + "setting_org.inf"; }

uint64_t asio_velmora_find::getProductID() { return productID; }

uint64_t asio_velmora_find::getFindID() { return findID; }

std::string asio_velmora_find::getChannel() { return channel; }

std::string asio_velmora_find::getVersion() { return versionText; }
