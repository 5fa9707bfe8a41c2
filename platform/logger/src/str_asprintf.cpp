#include "tarn/logger/str_asprintf.h"

#include <cstdarg>
#include <cstdio>

char* Str_Asprintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char* out = nullptr;
    int rc = vasprintf(&out, format, args);
    va_end(args);
    return rc < 0 ? nullptr : out;
}
