#pragma once
// The text forms of a sink that discovery asks directly (settings key FindIP, velmora-find):
//   fe80::1                  the Find port 19642
//   fe80::1%12               on interface 12 only (the index that ipconfig shows after "%")
//   [fe80::1]:19642          with a port; [fe80::1%12]:19642 with both
//   fe80::1,19642            the form TargetAddress uses (also fe80::1,19642%12)
// A link-local address without an interface keeps scope 0: discovery then asks it on every
// interface it runs on.

#include <string_view>

#include "terno/Address.h"

namespace VELMORA {

// False, leaving address untouched, when text is none of the forms above (or names port 0).
bool parseFindDestination(std::string_view text, TERNO::Address& address);

}  // namespace VELMORA
