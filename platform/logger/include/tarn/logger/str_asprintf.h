// Str_Asprintf: the host utility library's printf-style formatter into a heap string.
// The caller owns the result and releases it with free(). Returns nullptr only when out
// of memory.
#pragma once

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

char* Str_Asprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

TARN_PUBLIC_END
