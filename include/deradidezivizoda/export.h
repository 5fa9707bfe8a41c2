// TARN_EXPORT marks what the shared library exports; everything else is hidden.
#pragma once

#define TARN_EXPORT __attribute__((visibility("default")))
