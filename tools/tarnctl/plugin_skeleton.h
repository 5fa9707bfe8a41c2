// tarnctl plugins new: writes a working plugin skeleton for one single-instance key into the
// host root (key schema, version-3 manifest, plugin source and, for C++, a CMake project
// that builds the module against the installed package). Main thread.
#pragma once

#include <string>

namespace Tarnctl {

class Console;

// language "python" or "c++"; key "COMPONENT/GROUP/KEY". Refuses (CommandError) a bad key or
// language and any file that exists already, before writing anything.
int RunPluginsNew(const Console& console, const std::string& language, const std::string& key);

}  // namespace Tarnctl
