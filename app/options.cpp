// Placeholder until the real code lands.
#include "app/options.h"

bool ParseOptions(size_t, Char16**) { return false; }
