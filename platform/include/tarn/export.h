// What a platform library exports. The libraries are compiled with hidden visibility; a public
// header encloses its declarations in TARN_PUBLIC_BEGIN and TARN_PUBLIC_END, and the linker's
// version script narrows that to the project's own names.
#pragma once

#define TARN_PUBLIC_BEGIN _Pragma("GCC visibility push(default)")
#define TARN_PUBLIC_END _Pragma("GCC visibility pop")
