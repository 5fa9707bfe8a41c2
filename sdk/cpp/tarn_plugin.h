// tarn_plugin.h: the interface between the C++ plugin runner and a native plugin.
// The runner owns every request string and the result sink; both are valid only during the
// call. A plugin is called on the runner's one thread, once per process.
//
// The C ABI is what the runner calls: a plugin's shared object exports one entry point per
// operation it supports, named tarn_plugin_<operation>_v1. The C++ helpers (C++ only) let a
// plugin author write one function per operation over typed values and export it with one macro:
//
//     static std::vector<TarnPlugin::ImpactVerdict> Judge(const TarnPlugin::Request& request);
//     TARN_PLUGIN_IMPACT(Judge)
#ifndef TARN_PLUGIN_H
#define TARN_PLUGIN_H

#include <stddef.h>

/* ---- The C ABI ------------------------------------------------------------------------ */

#ifdef __cplusplus
extern "C" {
#endif

/* Entry points carry this number in their names; the runner looks for no other. */
#define TARN_PLUGIN_ABI_VERSION 1

/* Impact verdicts, ordered by severity. */
enum { TARN_IMPACT_NONE = 0, TARN_IMPACT_MAINTENANCE_MODE = 1, TARN_IMPACT_REBOOT = 2 };

/* Identity of a configuration object; instance_id is "" for a single-instance key. */
typedef struct tarn_object_id {
    const char* component;
    const char* group;
    const char* key;
    const char* instance_id;
} tarn_object_id;

/* One configuration object handed to the plugin. Texts are JSON; optional ones are NULL. */
typedef struct tarn_config_input {
    tarn_object_id id;
    const char* config;           /* the object's value */
    const char* operation;        /* apply, impact: the change's operation; "" otherwise */
    const char* drift;            /* apply, impact: the drift markers, or NULL */
    int has_cached_drift;         /* apply, impact: an earlier impact run remembered a drift */
    const char* cached_drift;     /* its markers, or NULL when it recorded none */
    const char* cached_operation; /* its operation; "" without a cached drift */
} tarn_config_input;

/* The request of one run. Lists that the operation does not use are empty. */
typedef struct tarn_plugin_request {
    const char* plugin_id;           /* the plugin's id, from its manifest's folders */
    const char* operation;           /* "APPLY", "IMPACT", "EXTRACT" or "VALIDATE" */
    int version;                     /* the manifest's format version */
    const char* task_id;             /* the caller's task, "" when none */
    const char* cluster_context;     /* the caller's text, passed through */
    const tarn_config_input* inputs; /* apply, impact: the changes; validate: the objects */
    size_t input_count;
    const tarn_config_input* references; /* validate: the referenced objects */
    size_t reference_count;
    const tarn_object_id* ids; /* extract: the keys to extract (instance_id "") */
    size_t id_count;
    /* Prefix of every host path the plugin reads or writes: "" on a real host, the build's
     * host root in development builds and tests. */
    const char* host_root;
} tarn_plugin_request;

/* Where a plugin puts its answer. Every call copies its arguments. A call with a NULL
 * where text is required, an impact outside 0 to 2, or an object whose config is not JSON
 * text makes the runner fail the run instead of writing a result. */
typedef struct tarn_result_sink {
    void* context;
    /* The error the plugin reports (message id, arguments, text); the last call wins. */
    void (*set_error)(void* context, const char* id, const char* const* args, size_t arg_count,
                      const char* message);
    /* Impact: the verdict on one changed object. */
    void (*add_impact)(void* context, const tarn_object_id* id, int impact, int quick_boot_capable);
    /* Extract: one configuration object with its value as JSON text. */
    void (*add_object)(void* context, const tarn_object_id* id, const char* config);
    /* Validate: one problem at a path of the validated configuration. Problems at one path
     * are kept together, in the order reported. */
    void (*add_invalid)(void* context, const char* path, const char* id, const char* const* args,
                        size_t arg_count, const char* message);
} tarn_result_sink;

/* Every entry point: returns 0 when the answer in the sink is complete, any other value when
 * the plugin failed without an answer (the runner then exits with a failure). Names:
 * tarn_plugin_apply_v1, tarn_plugin_impact_v1, tarn_plugin_extract_v1,
 * tarn_plugin_validate_v1. */
typedef int (*tarn_plugin_entry)(const tarn_plugin_request* request, const tarn_result_sink* sink);

#ifdef __cplusplus
}  // extern "C"
#endif

/* ---- C++ helpers ---------------------------------------------------------------------- */

#ifdef __cplusplus

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace TarnPlugin {

struct ObjectId {
    std::string component;
    std::string group;
    std::string key;
    std::string instanceId;  // empty for a single-instance key
};

// The drift an earlier impact run remembered for an object.
struct CachedDrift {
    std::optional<std::string> drift;  // JSON text of the markers, when it recorded any
    std::string operation;
};

struct ConfigInput {
    ObjectId id;
    std::string config;                // JSON text of the value
    std::string operation;             // apply, impact: "ADD", "SET" or "DELETE"
    std::optional<std::string> drift;  // apply, impact: JSON text of the drift markers
    std::optional<CachedDrift> cachedDrift;
};

struct Request {
    std::string pluginId;
    std::string operation;
    int version = 0;
    std::string taskId;
    std::string clusterContext;
    std::vector<ConfigInput> inputs;      // apply, impact, validate
    std::vector<ConfigInput> references;  // validate
    std::vector<ObjectId> ids;            // extract
    std::string hostRoot;                 // "" on a real host

    // A host path ("/etc/motd") as the plugin must open it: below the host root.
    std::string HostPath(const std::string& path) const { return hostRoot + path; }
};

// A message: its id, its arguments in placeholder order and a text.
struct ErrorInfo {
    std::string id;
    std::vector<std::string> args;
    std::string message;
};

// Throw from an operation to report an error as the run's answer; whatever else the
// operation would have returned is dropped.
class PluginError : public std::exception {
public:
    explicit PluginError(ErrorInfo error) : error_(std::move(error)) {}
    PluginError(std::string id, std::vector<std::string> args, std::string message = "")
        : error_{std::move(id), std::move(args), std::move(message)} {}
    const ErrorInfo& Error() const { return error_; }
    const char* what() const noexcept override { return error_.id.c_str(); }

private:
    ErrorInfo error_;
};

enum class Impact {
    kNone = TARN_IMPACT_NONE,
    kMaintenanceMode = TARN_IMPACT_MAINTENANCE_MODE,
    kReboot = TARN_IMPACT_REBOOT
};

struct ImpactVerdict {
    ObjectId id;
    Impact impact = Impact::kNone;
    bool quickBootCapable = true;  // false when the change rules out a quick boot
};

struct ConfigObject {
    ObjectId id;
    std::string config;  // JSON text of the value
};

struct InvalidField {
    std::string path;  // "/"-separated path inside the validated configuration
    std::vector<ErrorInfo> messages;
};

namespace detail {

inline std::string Text(const char* text) {
    return text ? std::string(text) : std::string();
}

inline ObjectId ToObjectId(const tarn_object_id& id) {
    return {Text(id.component), Text(id.group), Text(id.key), Text(id.instance_id)};
}

inline ConfigInput ToInput(const tarn_config_input& in) {
    ConfigInput out{ToObjectId(in.id), Text(in.config), Text(in.operation), std::nullopt,
                    std::nullopt};
    if (in.drift) {
        out.drift = in.drift;
    }
    if (in.has_cached_drift) {
        out.cachedDrift = CachedDrift{std::nullopt, Text(in.cached_operation)};
        if (in.cached_drift) {
            out.cachedDrift->drift = in.cached_drift;
        }
    }
    return out;
}

inline std::vector<ConfigInput> ToInputs(const tarn_config_input* list, size_t count) {
    std::vector<ConfigInput> out;
    for (size_t i = 0; i < count; ++i) {
        out.push_back(ToInput(list[i]));
    }
    return out;
}

inline Request ToRequest(const tarn_plugin_request& in) {
    Request out;
    out.pluginId = Text(in.plugin_id);
    out.operation = Text(in.operation);
    out.version = in.version;
    out.taskId = Text(in.task_id);
    out.clusterContext = Text(in.cluster_context);
    out.inputs = ToInputs(in.inputs, in.input_count);
    out.references = ToInputs(in.references, in.reference_count);
    for (size_t i = 0; i < in.id_count; ++i) {
        out.ids.push_back(ToObjectId(in.ids[i]));
    }
    out.hostRoot = Text(in.host_root);
    return out;
}

// A C view of an ObjectId; valid while the ObjectId lives.
inline tarn_object_id ToC(const ObjectId& id) {
    return {id.component.c_str(), id.group.c_str(), id.key.c_str(), id.instanceId.c_str()};
}

inline std::vector<const char*> ArgPointers(const std::vector<std::string>& args) {
    std::vector<const char*> out;
    for (const std::string& arg : args) {
        out.push_back(arg.c_str());
    }
    return out;
}

inline void Report(const tarn_result_sink& sink, const ErrorInfo& error) {
    std::vector<const char*> args = ArgPointers(error.args);
    sink.set_error(sink.context, error.id.c_str(), args.data(), args.size(), error.message.c_str());
}

inline void Report(const tarn_result_sink& sink, const std::vector<ImpactVerdict>& verdicts) {
    for (const ImpactVerdict& verdict : verdicts) {
        tarn_object_id id = ToC(verdict.id);
        sink.add_impact(sink.context, &id, static_cast<int>(verdict.impact),
                        verdict.quickBootCapable ? 1 : 0);
    }
}

inline void Report(const tarn_result_sink& sink, const std::vector<ConfigObject>& objects) {
    for (const ConfigObject& object : objects) {
        tarn_object_id id = ToC(object.id);
        sink.add_object(sink.context, &id, object.config.c_str());
    }
}

inline void Report(const tarn_result_sink& sink, const std::vector<InvalidField>& fields) {
    for (const InvalidField& field : fields) {
        for (const ErrorInfo& message : field.messages) {
            std::vector<const char*> args = ArgPointers(message.args);
            sink.add_invalid(sink.context, field.path.c_str(), message.id.c_str(), args.data(),
                             args.size(), message.message.c_str());
        }
    }
}

// Runs one operation: a PluginError becomes the reported error, any other exception a
// failed run with its reason on stderr.
template <typename Operation>
int Run(Operation operation, const tarn_plugin_request* request, const tarn_result_sink* sink) {
    const char* id = request && request->plugin_id ? request->plugin_id : "?";
    try {
        Request typed = ToRequest(*request);
        if constexpr (std::is_void_v<decltype(operation(typed))>) {
            operation(typed);
        } else {
            Report(*sink, operation(typed));
        }
        return 0;
    } catch (const PluginError& e) {
        Report(*sink, e.Error());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plugin %s failed: %s\n", id, e.what());
    } catch (...) {
        std::fprintf(stderr, "plugin %s failed with an exception of unknown type\n", id);
    }
    return 1;
}

}  // namespace detail
}  // namespace TarnPlugin

#define TARN_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

// Each macro exports the entry point of one operation. Signatures of the functions:
//   APPLY:    void f(const TarnPlugin::Request&)
//   IMPACT:   std::vector<TarnPlugin::ImpactVerdict> f(const TarnPlugin::Request&)
//   EXTRACT:  std::vector<TarnPlugin::ConfigObject> f(const TarnPlugin::Request&)
//   VALIDATE: std::vector<TarnPlugin::InvalidField> f(const TarnPlugin::Request&)
#define TARN_PLUGIN_ENTRY_(name, function)                          \
    TARN_PLUGIN_EXPORT int name(const tarn_plugin_request* request, \
                                const tarn_result_sink* sink) {     \
        return ::TarnPlugin::detail::Run(function, request, sink);  \
    }
#define TARN_PLUGIN_APPLY(function) TARN_PLUGIN_ENTRY_(tarn_plugin_apply_v1, function)
#define TARN_PLUGIN_IMPACT(function) TARN_PLUGIN_ENTRY_(tarn_plugin_impact_v1, function)
#define TARN_PLUGIN_EXTRACT(function) TARN_PLUGIN_ENTRY_(tarn_plugin_extract_v1, function)
#define TARN_PLUGIN_VALIDATE(function) TARN_PLUGIN_ENTRY_(tarn_plugin_validate_v1, function)

#endif /* __cplusplus */

#endif /* TARN_PLUGIN_H */
