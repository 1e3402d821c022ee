#include "find/ProductTag.h"

namespace VELMORA {

// Constant-initialised, so they hold their values before any dynamic initialiser or export runs.
constinit const uint64_t productID = productTagOf(productWord);
constinit const uint64_t findID = productTagOf(productWord);

}  // namespace VELMORA
