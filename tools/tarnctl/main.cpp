// tarnctl: the command line of the host agent. Parses the command line with CLI11 and runs
// one command under a Ctrl-C guard; every failure becomes a report with the library's code and
// message id (exit statuses in exit_codes.h).
#include <CLI/CLI.hpp>
#include <exception>
#include <functional>
#include <string>

#include "apply_command.h"
#include "boot_command.h"
#include "compliance_command.h"
#include "console.h"
#include "error_report.h"
#include "exit_codes.h"
#include "extract_command.h"
#include "host_command.h"
#include "impact_command.h"
#include "interrupt_guard.h"
#include "plugins_command.h"
#include "tarn/paths.h"
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
    std::string pluginDir = TarnPaths::kPluginDir;
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
    sub->add_option("DOC", document, "Desired configuration document (JSON)")->required();
    if (context) {
        sub->add_option("--cluster-context", *context, contextHelp);
    }
    return sub;
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
    AddDocumentCommand(
        app, "impact", "What applying a document would cost (exit 0: compliant, 2: changes)",
        args.command, [&args](const Console& console) { return RunImpact(console, args.impact); },
        args.impact.document, &args.impact.clusterContext, "Text handed to every impact plugin");
    AddDocumentCommand(
        app, "apply", "Apply a desired document (now, or at the next boot)", args.command,
        [&args](const Console& console) { return RunApply(console, args.apply); },
        args.apply.document, &args.apply.clusterContext,
        "Text handed to every impact and apply plugin")
        ->add_flag("-y,--yes", args.apply.yes, "Apply without asking for confirmation");
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
             [what](const Console& console) { return RunExtract(console, what); });
    }
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

// A failure after Ctrl-C (a plugin that the SIGINT ended, say) exits as interrupted.
int Run(const Console& console, const Command& command) {
    InterruptGuard guard(console);
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
    // --json and --quiet may also follow the subcommand.
    app.fallthrough();
    Arguments args;
    app.add_flag("--json", args.console.json, "Results as JSON on standard output");
    app.add_flag("-q,--quiet", args.console.quiet,
                 "No progress or notifications on standard error");
    AddDocumentCommands(app, args);
    AddExtract(app, args);
    AddPlugins(app, args);
    AddHost(app, args);
    AddBoot(app, args);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // --help is a parse "error" that exits 0; every misuse exits 1.
        return app.exit(error) == 0 ? kExitOk : kExitError;
    }
    return Run(Console(args.console), args.command);
}
