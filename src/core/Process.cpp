#include "core/Process.h"

namespace kv {

const char* const ProductName = "Kelvara";
const char* const ProductVersion = "Kelvara 3.38-pre5";

}  // namespace kv
