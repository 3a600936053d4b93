#include "core/model/QuorilanthError.h"
