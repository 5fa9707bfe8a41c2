// What the library does with an ImpactHandler beyond its public interface: reads the plugin
// map without a copy, and lets the objects of its own handlers view their values. Private to
// the library.
#pragma once

#include "deradidezivizoda/impact/impact_handler.h"

namespace TarnConfigManager {

class ImpactHandlerAccess {
public:
    // The handler's own plugin map, for reading while the handler lives and computes nothing
    // more.
    static const ImpactHandler::PluginMap& PluginMapView(const ImpactHandler& handler);
    // Set before the drift computation: the objects of added and changed values view them in
    // the walked document rather than copy them. Only for a handler the library owns, which
    // dies before that document and while it is unchanged (a caller's handler may keep its
    // objects longer).
    static void ViewDesiredValues(ImpactHandler& handler);
    // Set before the drift cache is written or loaded: the cache, emptied, takes its values from
    // pool, which must outlive the handler. For a handler the library owns, whose cache is
    // dropped with it.
    static void KeepDriftCacheIn(ImpactHandler& handler, rapidjson::MemoryPoolAllocator<>& pool);
};

}  // namespace TarnConfigManager
