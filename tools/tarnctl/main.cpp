// tarnctl: the command line of the host agent. Parses the command line with CLI11 and runs
// one command under a Ctrl-C guard; every failure becomes a report with the library's code and
// message id (exit statuses in exit_codes.h).
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "apply_command.h"
#include "bash_completion.h"
#include "boot_command.h"
#include "command_reference.h"
#include "compliance_command.h"
#include "config_command.h"
#include "console.h"
#include "deradidezivizoda/core/version.h"
#include "deradidezivizoda/plugins/host_lock.h"
#include "error_report.h"
#include "exit_codes.h"
#include "export_command.h"
#include "extract_command.h"
#include "host_command.h"
#include "impact_command.h"
#include "interrupt_guard.h"
#include "man_page.h"
#include "nearest_name.h"
#include "plugin_skeleton.h"
#include "plugins_command.h"
#include "tarn/json/json_text.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"
#include "text_table.h"
#include "validate_command.h"

namespace Tarnctl {

namespace {

using Command = std::function<int(const Console&)>;

// Everything the options write into; lives until the command has run.
struct Arguments {
    ConsoleOptions console;
    ComplianceOptions compliance;
    ValidateOptions validate;
    ImpactOptions impact;
    ApplyOptions apply;
    BootstrapOptions bootstrap;
    ConfigOptions config;
    std::string pluginDir = TarnPaths::kPluginDir;
    int verbosity = 0;  // how many -v: library log lines up to that priority on stderr
    bool showSecrets = false;
    Command command;
};

// A subcommand whose callback selects the command to run.
CLI::App* Leaf(CLI::App& parent, const std::string& name, const std::string& description,
               Command& selected, Command command) {
    CLI::App* leaf = parent.add_subcommand(name, description);
    leaf->callback([&selected, command] { selected = command; });
    return leaf;
}

// A command on a desired document: the DOC argument and, with contextHelp, --cluster-context.
CLI::App* AddDocumentCommand(CLI::App& app, const char* name, const char* description,
                             Command& selected, Command command, std::string& document,
                             std::string* context = nullptr, const char* contextHelp = nullptr) {
    CLI::App* sub = Leaf(app, name, description, selected, std::move(command));
    sub->add_option("DOC", document,
                    "Desired configuration document (JSON); - reads it from "
                    "standard input")
        ->required();
    if (context) {
        sub->add_option("--cluster-context", *context, contextHelp);
    }
    return sub;
}

const char kNoValidateHelp[] = "Skip validating the document first (for one validated already)";

// impact and apply, which validate their document before anything else.
void AddChangeCommands(CLI::App& app, Arguments& args) {
    CLI::App* impact = AddDocumentCommand(
        app, "impact", "What applying a document would cost (exit 0: compliant, 2: changes)",
        args.command, [&args](const Console& console) { return RunImpact(console, args.impact); },
        args.impact.document, &args.impact.clusterContext,
        "Text handed to every validation and impact plugin");
    impact->add_option("--out", args.impact.out, "Save the plan to this file for apply --plan")
        ->type_name("FILE");
    impact->add_flag_callback(
        "--no-validate", [&args] { args.impact.validate = false; }, kNoValidateHelp);
    CLI::App* apply = AddDocumentCommand(
        app, "apply", "Apply a desired document or a saved plan (now, or at the next boot)",
        args.command, [&args](const Console& console) { return RunApply(console, args.apply); },
        args.apply.document, &args.apply.clusterContext,
        "Text handed to every validation, impact and apply plugin");
    CLI::Option* document = apply->get_option("DOC")->required(false);
    apply->add_option("--plan", args.apply.plan, "Apply a plan saved by impact --out")
        ->type_name("FILE")
        ->excludes(document)
        ->excludes(apply->get_option("--cluster-context"));
    apply->add_flag("-y,--yes", args.apply.yes, "Apply without asking for confirmation");
    apply->add_flag_callback(
        "--no-validate", [&args] { args.apply.validate = false; }, kNoValidateHelp);
}

void AddDocumentCommands(CLI::App& app, Arguments& args) {
    AddDocumentCommand(
        app, "compliance", "Compare the host with a desired document (exit 0: compliant, 2: drift)",
        args.command,
        [&args](const Console& console) { return RunCompliance(console, args.compliance); },
        args.compliance.document)
        ->add_flag("--by-property", args.compliance.compareEmptyByProperty,
                   "Report each property of a key the host lacks, not the key as a whole");
    AddDocumentCommand(
        app, "validate", "Validate a desired document (exit 0: valid, 2: invalid)", args.command,
        [&args](const Console& console) { return RunValidate(console, args.validate); },
        args.validate.document, &args.validate.clusterContext,
        "Text handed to every validation plugin")
        ->add_flag("--no-schema", args.validate.skipSchema,
                   "Skip the key schemas; run the validation plugins only");
    AddChangeCommands(app, args);
}

void AddExtract(CLI::App& app, Arguments& args) {
    CLI::App* extract =
        app.add_subcommand("extract", "Print one of the host's configurations as a document");
    extract->require_subcommand(1);
    const std::pair<const char*, ExtractWhat> kinds[] = {{"current", ExtractWhat::kCurrent},
                                                         {"desired", ExtractWhat::kDesired},
                                                         {"smartnic", ExtractWhat::kSmartnic}};
    const char* descriptions[] = {"The configuration the host runs now",
                                  "The stored desired configuration",
                                  "The stored SmartNIC configuration"};
    for (size_t i = 0; i < 3; ++i) {
        ExtractWhat what = kinds[i].second;
        Leaf(*extract, kinds[i].first, descriptions[i], args.command,
             [what, &args](const Console& console) {
                 return RunExtract(console, what, args.showSecrets);
             })
            ->add_flag("--show-secrets", args.showSecrets,
                       "Show sensitive values in clear instead of masked (root only)");
    }
}

// tarnctl export and tarnctl telemetry; their options live as long as the subcommands.
void AddExport(CLI::App& app, Arguments& args) {
    auto exportOptions = std::make_shared<ExportOptions>();
    CLI::App* exporter = Leaf(
        app, "export", "Print the host's configuration as a desired document", args.command,
        [exportOptions](const Console& console) { return RunExport(console, *exportOptions); });
    exporter->add_flag("--telemetry", exportOptions->telemetry,
                       "The telemetry view: allowlisted keys only, no secrets");
    exporter->add_flag("--compact", exportOptions->compact, "One line of compact JSON");
    exporter->add_option("-o,--output", exportOptions->output, "Write the document to FILE")
        ->type_name("FILE");
    auto telemetryOptions = std::make_shared<TelemetryOptions>();
    CLI::App* telemetry = Leaf(app, "telemetry", "Show the values the host reports to telemetry",
                               args.command, [telemetryOptions](const Console& console) {
                                   return RunTelemetry(console, *telemetryOptions);
                               });
    telemetry->add_option("--name", telemetryOptions->names, "Only this value (repeatable)")
        ->type_name("N");
    telemetry->add_option("--exclude", telemetryOptions->excluded, "Never this value (repeatable)")
        ->type_name("N");
    telemetry->add_option("--start", telemetryOptions->start, "Skip the values before index I")
        ->type_name("I");
    telemetry->add_option("--limit", telemetryOptions->limit, "At most L values")->type_name("L");
}

void AddPlugins(CLI::App& app, Arguments& args) {
    CLI::App* plugins = app.add_subcommand("plugins", "The plugins installed on the host");
    plugins->require_subcommand(1);
    Leaf(*plugins, "list", "List every plugin with its id, language, work and keys", args.command,
         RunPluginsList);
    CLI::App* validate = Leaf(
        *plugins, "validate", "Check manifests against their schemas (exit 0: all conform, 2: not)",
        args.command,
        [&args](const Console& console) { return RunPluginsValidate(console, args.pluginDir); });
    validate->add_option("DIR", args.pluginDir, "Folder of manifests")->capture_default_str();
    auto language = std::make_shared<std::string>();
    auto key = std::make_shared<std::string>();
    CLI::App* create =
        Leaf(*plugins, "new", "Write a plugin skeleton for a key: schema, manifest, source",
             args.command, [language, key](const Console& console) {
                 return RunPluginsNew(console, *language, *key);
             });
    create->add_option("--lang", *language, "Language of the plugin")
        ->required()
        ->check(CLI::IsMember({"python", "c++"}))
        ->type_name("LANG");
    create->add_option("KEY", *key, "The key, as COMPONENT/GROUP/KEY")->required();
}

void AddHost(CLI::App& app, Arguments& args) {
    CLI::App* host = app.add_subcommand("host", "The host's identity and state");
    host->require_subcommand(1);
    Leaf(*host, "show", "Show the BIOS UUID, maintenance mode and quick boot support", args.command,
         RunHostShow);
    CLI::App* maintenance = host->add_subcommand("maintenance", "Enter or leave maintenance mode");
    maintenance->require_subcommand(1);
    Leaf(*maintenance, "enter", "Put the host into maintenance mode", args.command,
         [](const Console& console) { return RunMaintenance(console, true); });
    Leaf(*maintenance, "exit", "Take the host out of maintenance mode", args.command,
         [](const Console& console) { return RunMaintenance(console, false); });
}

// Said once per wait for another process's operation (Console::Note: not when quiet).
void NoteHostLockWait(const Console& console, pid_t holder) {
    std::string who = holder > 0 ? " (process " + std::to_string(holder) + ")" : "";
    console.Note("Waiting for another configuration operation" + who + " to finish...");
}

// The version of tarnctl and of the library it runs with, as the library itself reports it.
std::string VersionText() {
    return std::string("tarnctl ") + TARNCTL_VERSION + "\nlibrary " +
           TarnConfigManager::LibraryVersion() + " (" + TarnConfigManager::LibrarySoname() + ")";
}

// What an argument (DOC, DIR, KEY) or an option's value names, by its name: an option whose
// value is a file says so with ->type_name("FILE"); CLI11 names any other text value TEXT.
ArgumentKind KindOf(const std::string& name) {
    if (name == "DOC" || name == "FILE") {
        return ArgumentKind::kFile;
    }
    if (name == "KEY") {
        return ArgumentKind::kConfigKey;
    }
    return name == "DIR" ? ArgumentKind::kFolder : ArgumentKind::kText;
}

// The command line as the man page and the completion see it; hidden options (no group) are
// left out.
CommandReference Reference(const CLI::App& app, std::vector<std::string> path) {
    CommandReference command;
    command.path = path;
    command.description = app.get_description();
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_group().empty()) {
            continue;
        }
        if (option->get_positional()) {
            command.arguments.push_back({option->get_name(), KindOf(option->get_name()),
                                         option->get_required(), option->get_description()});
            continue;
        }
        OptionReference reference;
        for (const std::string& name : option->get_snames()) {
            reference.names.push_back("-" + name);
        }
        for (const std::string& name : option->get_lnames()) {
            reference.names.push_back("--" + name);
        }
        if (option->get_type_size() > 0) {
            reference.valueName = option->get_type_name();
            reference.valueKind = KindOf(reference.valueName);
        }
        reference.help = option->get_description();
        command.options.push_back(reference);
    }
    for (const CLI::App* subcommand : app.get_subcommands({})) {
        std::vector<std::string> subpath = path;
        subpath.push_back(subcommand->get_name());
        command.subcommands.push_back(Reference(*subcommand, subpath));
    }
    return command;
}

// tarnctl --generate man|bash-completion FILE: writes the man page or the completion script
// (at build time).
int Generate(const CLI::App& app, const std::string& what, const std::string& path) {
    CommandReference root = Reference(app, {});
    std::string text;
    if (what == "man") {
        text = ManPage(root, TARNCTL_VERSION);
    } else if (what == "bash-completion") {
        text = BashCompletion(root);
    } else {
        std::fprintf(stderr, "tarnctl: --generate makes man or bash-completion, not %s\n",
                     what.c_str());
        return kExitError;
    }
    if (!TarnConfigStore::WriteFileAtomically(path, text)) {
        std::fprintf(stderr, "tarnctl: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return kExitError;
    }
    return kExitOk;
}

std::vector<std::string> SubcommandNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::App* subcommand : app.get_subcommands({})) {
        names.push_back(subcommand->get_name());
    }
    return names;
}

// When a word of the command line should name a subcommand and names none, says so, with the
// nearest name ("did you mean ...?") or the names there are, and returns true.
bool ReportUnknownSubcommand(CLI::App& app, int argc, char** argv) {
    CLI::App* level = &app;
    std::string name = "tarnctl";
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word.rfind("-", 0) == 0) {
            continue;
        }
        std::vector<std::string> names = SubcommandNames(*level);
        if (names.empty()) {
            return false;
        }
        if (std::find(names.begin(), names.end(), word) != names.end()) {
            level = level->get_subcommand(word);
            name += " " + word;
            continue;
        }
        std::string nearest = NearestName(word, names);
        std::string advice = nearest.empty() ? "the commands are " + Joined(names, ", ")
                                             : "did you mean '" + nearest + "'?";
        std::fprintf(stderr, "tarnctl: '%s' is not a command of %s; %s\n", word.c_str(),
                     name.c_str(), advice.c_str());
        return true;
    }
    return false;
}

void AddBoot(CLI::App& app, Arguments& args) {
    CLI::App* boot = app.add_subcommand("boot", "The boot-time apply");
    boot->require_subcommand(1);
    Leaf(*boot, "run",
         "Boot: restore the deployment files, apply the stored desired configuration with the "
         "boot-capable plugins, mark the boot complete (exit 0: applied, 1: failed)",
         args.command, RunBootRun);
    Leaf(*boot, "status",
         "How the last boot went (exit 0: complete without failure, 2: failures or not complete)",
         args.command, RunBootStatus);
    CLI::App* bootstrap = Leaf(
        app, "bootstrap",
        "Bootstrap a deployed host from a document: apply it now, or keep it with the deployment "
        "files for the next boot (exit 0: done, 1: failed)",
        args.command,
        [&args](const Console& console) { return RunBootstrap(console, args.bootstrap); });
    bootstrap->add_option("FILE", args.bootstrap.document, "Configuration document (JSON)")
        ->required();
    bootstrap->add_flag("--early", args.bootstrap.early,
                        "Apply only the early groups (authentication, then networking); a "
                        "change that needs a reboot is refused");
}

void AddConfig(CLI::App& app, Arguments& args) {
    CLI::App* config =
        app.add_subcommand("config", "Read, set or delete the configuration of one key");
    config->require_subcommand(1);
    const char kKeyHelp[] = "The key as COMPONENT/GROUP/KEY";
    Leaf(*config, "get", "Show the key's default and current configuration and its schema",
         args.command,
         [&args](const Console& console) { return RunConfigGet(console, args.config); })
        ->add_option("KEY", args.config.key, kKeyHelp)
        ->required();
    CLI::App* set = Leaf(
        *config, "set",
        "Set the key's value: validate, show the impact, ask, then apply now or at the next boot "
        "(exit 0: set, 2: invalid value)",
        args.command,
        [&args](const Console& console) { return RunConfigSet(console, args.config); });
    set->add_option("KEY", args.config.key, kKeyHelp)->required();
    set->add_option("VALUE", args.config.value, "The value as JSON text, or @FILE")->required();
    set->add_flag("-y,--yes", args.config.yes, "Set without asking for confirmation");
    CLI::App* remove = Leaf(
        *config, "delete",
        "Delete the key's configuration: show the impact, ask, then delete now or drop what waits "
        "for the next boot",
        args.command,
        [&args](const Console& console) { return RunConfigDelete(console, args.config); });
    remove->add_option("KEY", args.config.key, kKeyHelp)->required();
    remove->add_flag("-y,--yes", args.config.yes, "Delete without asking for confirmation");
    Leaf(*config, "keys",
         "List the keys that get, set and delete accept, one COMPONENT/GROUP/KEY a line",
         args.command, RunConfigKeys);
}

// A failure after Ctrl-C (a plugin that the SIGINT ended, say) exits as interrupted.
int Run(const Console& console, const Command& command) {
    InterruptGuard guard(console);
    // A copy of the console: the observer stays set after this call.
    TarnConfigManager::SetHostLockWaitObserver(
        [console](pid_t holder) { NoteHostLockWait(console, holder); });
    try {
        return command(console);
    } catch (const std::exception& error) {
        ReportFailure(console, DescribeError(error));
        return FailureExitCode();
    }
}

}  // namespace

}  // namespace Tarnctl

int main(int argc, char** argv) {
    using namespace Tarnctl;
    CLI::App app("tarnctl: keeps this host at its desired configuration", "tarnctl");
    app.require_subcommand(1);
    // --json, --quiet and -v may also follow the subcommand.
    app.fallthrough();
    Arguments args;
    app.add_flag("--json", args.console.json, "Results as JSON on standard output");
    app.add_flag("-q,--quiet", args.console.quiet,
                 "Print errors only (and --json output); the exit status tells the outcome");
    app.add_flag("-v,--verbose", args.verbosity,
                 "Also show the library's log lines on standard error: -v errors and warnings, "
                 "-vv progress, -vvv everything");
    app.set_version_flag("--version", VersionText, "Print the version of tarnctl and the library");
    AddDocumentCommands(app, args);
    AddExtract(app, args);
    AddExport(app, args);
    AddPlugins(app, args);
    AddHost(app, args);
    AddBoot(app, args);
    AddConfig(app, args);
    if (argc == 4 && std::strcmp(argv[1], "--generate") == 0) {
        return Generate(app, argv[2], argv[3]);
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() != 0 && ReportUnknownSubcommand(app, argc, argv)) {
            return kExitError;
        }
        // --help and --version are parse "errors" that exit 0; every misuse exits 1.
        return app.exit(error) == 0 ? kExitOk : kExitError;
    }
    if (args.verbosity > 0) {
        CSLogger::EchoToStderr(std::min(args.verbosity, static_cast<int>(CSLogger::kTrace)));
    }
    return Run(Console(args.console), args.command);
}
