// What the impact subsystem reads of an ImpactHandler beyond its public accessors: the plugin
// map without a copy. Private to the library.
#pragma once

#include "deradidezivizoda/impact/impact_handler.h"

namespace TarnConfigManager {

class ImpactHandlerAccess {
public:
    // The handler's own plugin map, for reading while the handler lives and computes nothing
    // more.
    static const ImpactHandler::PluginMap& PluginMapView(const ImpactHandler& handler);
};

}  // namespace TarnConfigManager
