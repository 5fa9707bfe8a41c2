// ExportDocument and ExportDocumentTelemetry: the reference-host metadata, the error wrapping,
// and the round trip that makes an export a desired document for the host it came from.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/core/host_state.h"
#include "deradidezivizoda/drift/check_compliance.h"
#include "deradidezivizoda/extract/export_document.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "deradidezivizoda/validation/host_document_schema.h"
#include "deradidezivizoda/validation/merged_document.h"
#include "tarn/sablectl/system_info.h"
#include "user_host.h"

using namespace TarnConfigManager;
using namespace TelemetryTest;
using ExtractTest::ExpectError;
using ExtractTest::Text;

namespace {

class Export : public UserHost {
protected:
    // Whether the host complies with the export of itself, merged for this host.
    static void ExpectCompliantWithOwnExport() {
        rapidjson::Document document;
        ParseDocument(ExportDocument(), document);
        HostDocumentSchema schema = GenerateHostDocumentSchema(document);
        ASSERT_EQ(schema.which(), 0);
        CreateMergedDocument(boost::get<rapidjson::Document>(schema), document);
        document.EraseMember("metadata");
        ComplianceResult result;
        CheckCompliance(document, false, result, std::make_shared<TaskHandle>());
        EXPECT_TRUE(result.compliant) << Text(result.document);
    }
};

}  // namespace

TEST_F(Export, ReferenceHostIsAlwaysThereAlsoWithAnEmptyProfile) {
    for (auto exporter : {ExportDocument, ExportDocumentTelemetry}) {
        rapidjson::Document document;
        ParseDocument(exporter(), document);
        SableCtl::System::SableVersion kernel =
            SableCtl::System::SystemInfoImpl().GetSableVersion();
        EXPECT_EQ(Text(document["metadata"]),
                  R"({"reference_host":{"build":")" + kernel.build + R"(","patch":")" +
                      kernel.patch + R"(","update":")" + kernel.update + R"(","uuid":")" +
                      GetBIOSUUID() + R"(","version":")" + kernel.version + "\"}}");
        EXPECT_EQ(Text(document["profile"]), "{}");
    }
}

TEST_F(Export, KernelVersionRecordIsCutFromTheRelease) {
    auto record = SableCtl::System::ParseSableVersion("6.1.0-18-amd64", "#1 SMP Debian");
    EXPECT_EQ(record.version, "6.1");
    EXPECT_EQ(record.patch, "0");
    EXPECT_EQ(record.update, "18-amd64");
    EXPECT_EQ(record.build, "1");
    record = SableCtl::System::ParseSableVersion("5.15", "custom");
    EXPECT_EQ(record.patch + record.update + record.build, "000");
}

TEST_F(Export, PlainFailuresBecome3000AndLibraryErrorsPassUnchanged) {
    // The hardware information below the export fails with the host library's own exception.
    std::filesystem::remove(TarnPaths::kProductUuidFile);
    for (auto [exporter, prefix] :
         {std::pair{ExportDocument, "ExportDocument failed: "},
          std::pair{ExportDocumentTelemetry, "ExportDocumentTelemetry failed: "}}) {
        try {
            exporter();
            ADD_FAILURE() << "no exception";
        } catch (const ConfigManagerException& error) {
            EXPECT_EQ(error.GetCode(), 3000);
            EXPECT_EQ(std::string(error.what()).rfind(prefix, 0), 0u) << error.what();
            EXPECT_NE(std::string(error.what()).find("product_uuid"), std::string::npos);
        }
    }
    TarnTest::WriteFile(TarnPaths::kProductUuidFile, TarnTest::kFreshProductUuid);
    TarnTest::InstallManifestSchemas();
    TarnTest::InstallPluginRunners();
    TarnTest::InstallExtractTestPlugin("exporttest/fails", R"({"version": 2,
        "type": "python", "accepts": ["net:links:interfaces"], "extract": {"supports": true}})");
    ExpectError<ConfigManagerException>(2031, "Extract plugin failed: exporttest:fails",
                                        [] { ExportDocumentTelemetry(); });
}

// Two cases are left out until the drift walk knows them: a secret, which the export masks,
// and a mutable-default key at its default, which the export leaves out.
TEST_F(Export, HostCompliesWithItsOwnExport) {
    Populate();
    TarnConfigStore::DeleteRows(
        connection_, TarnConfigStore::RowTable::kCurrent,
        TarnConfigStore::ConfigStoreObjectId("service", "accounts", "security", ""));
    ExpectCompliantWithOwnExport();
}

TEST_F(Export, GeneratedHostsComplyWithTheirOwnExports) {
    std::mt19937 random(16);
    for (int host = 0; host < 8; ++host) {
        TarnTest::ResetHostRoot();
        SetUp();
        int interfaces = static_cast<int>(random() % 5);
        for (int i = 0; i < interfaces; ++i) {
            std::string name = "eth" + std::to_string(i);
            std::string mtu = std::to_string(1400 + random() % 200);
            Current("net", "links", "interfaces", name,
                    R"({"name":")" + name + R"(","mtu":)" + mtu + "}");
        }
        std::string servers = R"(["10.0.0.)" + std::to_string(random() % 3 + 52) + "\"]";
        Current("net", "dns", "resolver", "", R"({"servers":)" + servers + "}");
        for (int i = 0; i < static_cast<int>(random() % 3); ++i) {
            std::string id = "g" + std::to_string(i);
            Current("security", "login", "banners", id,
                    R"({"cs_generated_id":")" + id + R"(","text":"t)" + std::to_string(i) + "\"}");
        }
        SCOPED_TRACE("host " + std::to_string(host));
        ExpectCompliantWithOwnExport();
    }
}
