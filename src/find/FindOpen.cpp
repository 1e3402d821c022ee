// Construction, choice of interfaces and the socket of VELMORA::Find.
#include "log/LogLine.h"
#include "find/Find.h"
#include "terno/InterfaceList.h"

namespace VELMORA {

Find::Find(const FindParams& params)
    : productFilter(params.productFilter),
      maxVersion(params.maxVersion),
      name(params.name),
      nopBreak(params.nopBreak) {}

Find::~Find() {
    close();
    interfaces.clear();
    extraDestinations.clear();
}

void Find::close() { socket.close(); }

bool Find::openOn(const std::vector<TERNO::Address>& localAddresses) {
    LogLine(6) << "Velmora Find Library ReleaseNo : " << FindProtocol::findRelease;
    close();
    if (localAddresses.empty()) return false;
    interfaces.clear();
    for (const TERNO::Address& local : localAddresses)
        if (local.scope != 0) interfaces.push_back(local);
    if (!socket.open(TERNO::Socket::Kind::Udp6)) {
        LogLine(3) << "error socket open Find::open";
        return false;
    }
    // Bound to [::] (not link-local): the socket is not pinned, every send takes the
    // scope of its destination.
    TERNO::Address any{};
    if (!socket.bind(any)) {
        LogLine(3) << "error socket bind Find::open";
        return false;
    }
    return true;
}

bool Find::openAll() {
    TERNO::InterfaceList list;
    if (!TERNO::listLinkLocal(list)) {
        LogLine(3) << "error getMyLocalAddresV6 Find::open";
        return false;
    }
    std::vector<TERNO::Address> locals;
    locals.reserve(list.size());
    for (const auto& entry : list) locals.push_back(entry.first);
    return openOn(locals);
}

bool Find::open(uint16_t interfaceIndex) {
    if (interfaceIndex == 0) return openAll();
    TERNO::InterfaceList list;
    if (!TERNO::listLinkLocal(list)) {
        LogLine(3) << "error getMyLocalAddresV6 Find::open";
        return false;
    }
    for (const auto& entry : list) {
        const TERNO::Address& local = entry.first;
        if (local.scope != interfaceIndex) continue;
        const bool opened = isZeroAddress(local) ? openAll() : openOn({local});
        if (opened) return true;
    }
    return false;
}

}  // namespace VELMORA
