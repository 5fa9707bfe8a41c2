// The plugin folder's manifests as the process last loaded them. Every operation builds its own
// plugin manager; they all share one listing of the folder and one Plugin per manifest, kept
// while a watch on the folder sees no change (a file or folder created, written, renamed or
// removed below it, or the folder itself replaced) and the schema store they read their schema
// texts from is the same. Any change drops everything kept: the next manager walks the folder
// and reads every manifest again. Any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "deradidezivizoda/plugins/plugin.h"

namespace TarnConfigManager {

struct ManifestSnapshot {
    uint64_t generation = 0;
    std::string error;  // why the folder could not be walked; no manifests then
    // The manifest files in path order, each with its Plugin when one is kept for it.
    std::vector<std::pair<std::string, std::shared_ptr<Plugin>>> manifests;
};

// The manifests below the plugin folder now.
ManifestSnapshot CurrentManifests();

// Keeps plugin, just loaded from path, for later snapshots of the same generation.
void KeepLoadedManifest(uint64_t generation, const std::string& path,
                        const std::shared_ptr<Plugin>& plugin);

}  // namespace TarnConfigManager
