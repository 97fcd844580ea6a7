#include "app/NoPublishing.h"

#include "displays/ImageSaving.h"

namespace kv {

bool NoPublishing::ImagesWaiting() { return kv::ImagesWaiting(); }

}  // namespace kv
