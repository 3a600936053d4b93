#include "core/base/QuorilanthError.h"
