// NativeModule: a native plugin's shared object, loaded with dlopen for the runner's one run
// and closed when the object goes. One thread.
#pragma once

#include <string>

#include "tarn_plugin.h"

namespace TarnRunner {

class NativeModule {
public:
    // Loads the shared object at path, resolving every symbol now. Throws std::runtime_error
    // with the loader's reason when it cannot.
    explicit NativeModule(const std::string& path);
    ~NativeModule();
    NativeModule(const NativeModule&) = delete;
    NativeModule& operator=(const NativeModule&) = delete;

    // The entry point of operation ("APPLY", ...): tarn_plugin_<operation>_v1. Throws
    // std::runtime_error naming the symbol when the module does not export it.
    tarn_plugin_entry Entry(const std::string& operation) const;

private:
    std::string path_;
    void* handle_;
};

}  // namespace TarnRunner
