#include "tarn/sablectl/feature_state.h"

#include <fstream>
#include <mutex>
#include <string>
#include <unordered_map>

#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

namespace {

struct FeatureList {
    std::mutex mutex;
    std::unordered_map<std::string, bool> enabled;
};

FeatureList& Features() {
    static FeatureList list;
    return list;
}

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n\v\f";
    size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string::npos) {
        return "";
    }
    return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

// Reads one "<name>=enabled|disabled" line into switches; false when it is not one.
bool ReadSwitch(const std::string& line, std::unordered_map<std::string, bool>& switches) {
    size_t equals = line.find('=');
    if (equals == std::string::npos) {
        return false;
    }
    std::string name = Trimmed(line.substr(0, equals));
    std::string state = Trimmed(line.substr(equals + 1));
    if (name.empty() || (state != "enabled" && state != "disabled")) {
        return false;
    }
    switches[name] = state == "enabled";
    return true;
}

}  // namespace

namespace {

// Replaces the loaded list with the file's switches; bad lines are logged only when noisy.
void LoadFeatures(bool noisy) {
    std::unordered_map<std::string, bool> switches;
    std::ifstream file(TarnPaths::kFeatureStateFile);
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        std::string text = Trimmed(line);
        if (!text.empty() && text[0] != '#' && !ReadSwitch(text, switches) && noisy) {
            CSLogger::Log(0,
                          "Feature state file %s line %d ignored: \"%s\" is not <name>=enabled "
                          "or <name>=disabled",
                          TarnPaths::kFeatureStateFile, number, text.c_str());
        }
    }
    FeatureList& features = Features();
    std::lock_guard<std::mutex> lock(features.mutex);
    features.enabled = std::move(switches);
}

}  // namespace

void FeatureState_InitDeltaMode() {
    LoadFeatures(true);
}

void FeatureState_InitSilentMode() {
    LoadFeatures(false);
}

bool FeatureState_IsEnabled(const char* feature) {
    FeatureList& features = Features();
    std::lock_guard<std::mutex> lock(features.mutex);
    auto found = features.enabled.find(feature ? feature : "");
    return found != features.enabled.end() && found->second;
}
