// FeatureState: the host's feature switches, read from the feature state file under the host
// root (TarnPaths::kFeatureStateFile; format in docs/host-root.md) into one list per process.
// FeatureState_InitDeltaMode loads the file; queries answer from the last load. Every function
// is thread-safe.
#pragma once

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

// Loads the feature switches, replacing what an earlier call loaded. A missing file leaves
// every feature off; a line that is not "<name>=enabled" or "<name>=disabled" is logged at
// priority 0 and ignored.
void FeatureState_InitDeltaMode();
// The same load without logging anything, for boot time when the log may not be ready.
void FeatureState_InitSilentMode();

// Whether feature is enabled in the loaded list; false for a feature the list does not name
// and before the first load.
bool FeatureState_IsEnabled(const char* feature);

TARN_PUBLIC_END
