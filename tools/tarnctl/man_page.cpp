#include "man_page.h"

#include "tarn/paths.h"

namespace Tarnctl {

namespace {

// Text as roff prints it: backslashes and minus signs escaped, and a line that would start
// with a control character protected.
std::string Roff(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\'')) {
            out += "\\&";
        }
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
        lineStart = c == '\n';
    }
    return out;
}

std::string Bold(const std::string& text) {
    return "\\fB" + Roff(text) + "\\fR";
}

std::string Italic(const std::string& text) {
    return "\\fI" + Roff(text) + "\\fR";
}

// "-y, --yes" or "--cluster-context TEXT", as the heading of an option's paragraph.
std::string OptionHeading(const OptionReference& option) {
    std::string heading;
    for (const std::string& name : option.names) {
        heading += (heading.empty() ? "" : ", ") + Bold(name);
    }
    return option.valueName.empty() ? heading : heading + " " + Italic(option.valueName);
}

// "tarnctl apply [--cluster-context TEXT] [-y|--yes] DOC"
std::string Synopsis(const CommandReference& command) {
    std::string line = Bold(command.FullName());
    for (const OptionReference& option : command.options) {
        if (!command.path.empty() && option.names.back() == "--help") {
            continue;
        }
        std::string names;
        for (const std::string& name : option.names) {
            names += (names.empty() ? "" : "|") + Bold(name);
        }
        line +=
            " [" + names + (option.valueName.empty() ? "" : " " + Italic(option.valueName)) + "]";
    }
    for (const ArgumentReference& argument : command.arguments) {
        line +=
            " " + (argument.required ? Italic(argument.name) : "[" + Italic(argument.name) + "]");
    }
    if (!command.subcommands.empty()) {
        line += " " + Italic("COMMAND");
    }
    return line;
}

void Paragraph(std::string& page, const std::string& heading, const std::string& text) {
    page += ".TP\n" + heading + "\n" + Roff(text) + "\n";
}

// One section per command that runs something (a command that only groups others has none).
void Commands(std::string& page, const CommandReference& command) {
    if (command.subcommands.empty()) {
        page += ".SS \"" + Roff(command.FullName()) + "\"\n";
        page += Synopsis(command) + "\n.PP\n" + Roff(command.description) + "\n";
        for (const ArgumentReference& argument : command.arguments) {
            Paragraph(page, Italic(argument.name), argument.help);
        }
        for (const OptionReference& option : command.options) {
            // --help is described once, among tarnctl's own options.
            if (option.names.back() != "--help") {
                Paragraph(page, OptionHeading(option), option.help);
            }
        }
    }
    for (const CommandReference& subcommand : command.subcommands) {
        Commands(page, subcommand);
    }
}

const char kExitStatus[] = R"(.SH "EXIT STATUS"
.TP
.B 0
Done: the host is compliant, the document valid or applied, every manifest conforms.
.TP
.B 1
Failed: a library error, bad input, a failed plugin run, or a misused command line.
.TP
.B 2
The command ran and found something: drift, an invalid document, changes a document would
make, manifest findings.
.TP
.B 130
Ctrl\-C stopped the command.
)";

}  // namespace

std::string ManPage(const CommandReference& root, const std::string& version) {
    std::string page =
        ".TH TARNCTL 8 \"\" \"tarnctl " + Roff(version) + "\" \"System Administration\"\n";
    // The description reads "tarnctl: what it does"; the name line has its own "tarnctl -".
    std::string summary = root.description.substr(root.description.find(':') + 2);
    page += ".SH NAME\ntarnctl \\- " + Roff(summary) + "\n";
    page += ".SH SYNOPSIS\n" + Synopsis(root) + " [" + Italic("ARGUMENTS") + "]\n";
    page += ".SH DESCRIPTION\n" +
            Roff(
                "tarnctl runs the configuration library's operations on this host: it compares "
                "the host with a desired configuration document, validates documents, tells "
                "what applying one costs and applies it, prints the host's configurations, "
                "lists and checks plugins, and shows or changes the host's state. Results go "
                "to standard output, progress and errors to standard error. A document "
                "argument of - is read from standard input.") +
            "\n";
    page += ".SH OPTIONS\n" + Roff("These may also follow the command.") + "\n";
    for (const OptionReference& option : root.options) {
        Paragraph(page, OptionHeading(option), option.help);
    }
    page += ".SH COMMANDS\n";
    Commands(page, root);
    page += kExitStatus;
    page += ".SH FILES\n";
    Paragraph(page, Italic(TarnPaths::kLogFile),
              "The log of the library and its plugin runners: one line per entry with the time "
              "in UTC, the process id and the priority. Shown on standard error with -v.");
    Paragraph(page, Italic(TarnPaths::kPluginDir), "The plugin manifests.");
    Paragraph(page, Italic(TarnPaths::kSchemaDir), "The key schemas.");
    Paragraph(page, Italic(TarnPaths::kConfigStoreDb), "The configuration store.");
    page += ".SH ENVIRONMENT\n";
    Paragraph(page, Bold("NO_COLOR"), "Set to anything but the empty text: no colour.");
    Paragraph(page, Bold("TERM"), "dumb: no colour.");
    return page;
}

}  // namespace Tarnctl
