// Outside Windows: the finder code linked into the tool, the same the module exports.
#include "FinderSource.h"

bool FinderSource::openDefault() {
    finder_ = new asio_velmora_find();
    origin_ = "linked in";
    return true;
}
