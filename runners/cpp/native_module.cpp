#include "native_module.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace TarnRunner {

NativeModule::NativeModule(const std::string& path)
    : path_(path), handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) {
        throw std::runtime_error("cannot load the plugin module: " + std::string(dlerror()));
    }
}

NativeModule::~NativeModule() {
    dlclose(handle_);
}

tarn_plugin_entry NativeModule::Entry(const std::string& operation) const {
    std::string name = "tarn_plugin_" + operation + "_v" + std::to_string(TARN_PLUGIN_ABI_VERSION);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    dlerror();
    void* symbol = dlsym(handle_, name.c_str());
    if (!symbol) {
        throw std::runtime_error(path_ + " exports no " + name +
                                 " (the plugin does not support this operation or was built "
                                 "against another SDK version)");
    }
    // POSIX guarantees that a data pointer from dlsym converts to a function pointer.
    return reinterpret_cast<tarn_plugin_entry>(symbol);
}

}  // namespace TarnRunner
