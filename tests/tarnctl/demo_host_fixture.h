// The demo host of examples/demo-host, laid out by its own script (the one scripts/demo.sh
// runs) in a freshly reset root, and its documents. Test-only; one thread.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host_root_fixture.h"

namespace TarnTest {

// The path of a document of examples/demo-host/documents ("desired.json", ...).
std::string DemoDocument(const std::string& name);
// desired.json with values replaced, each given by its JSON pointer and JSON text, written as
// a document file; its path.
std::string DesiredDocumentWith(const std::vector<std::pair<std::string, std::string>>& values);

// The tarnctl arguments of an apply of document that goes straight to the plugins, whatever
// validation would say of the document, and without asking.
std::vector<std::string> UnvalidatedApply(const std::string& document);

// Every file below the root's etc/ with its content: what the demo plugins manage.
std::map<std::string, std::string> HostFiles();

class DemoHostTest : public HostRootTest {
protected:
    void SetUp() override;

    // Applies a document with tarnctl (entering maintenance mode for it when asked) and
    // expects it applied.
    static void Apply(const std::string& document, bool inMaintenanceMode = false);
};

}  // namespace TarnTest
