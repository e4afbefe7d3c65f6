// The administrator's site policy through the host: the page's origin as the browser states it (or
// not), the policy key through the registry double, and what print, getPrinters and getMacAddresses
// then do. A refused call reaches no platform function; getVersion and getLastError are never
// refused; the origin the browser handed over is freed once (the fixture's leak check).
#include <functional>
#include <string>
#include <vector>

#include "tests/doubles/enum_printers_double.h"
#include "tests/doubles/interfaces_double.h"
#include "tests/doubles/registry_double.h"
#include "tests/doubles/spooler_double.h"
#include "tests/unit/host_fixture.h"

namespace {

const char kSiteNotAllowed[] = "?501 access denied - this site may not use the plug-in";
const char kHardwareOff[] = "?502 access denied - hardware addresses are turned off";
const char kPage[] = "https://shop.example.com";
// tōkyō.example, as Mozilla's browsers state it (UTF-8) and in its ASCII form.
const char kTokyo[] = "https://t\xC5\x8Dky\xC5\x8D.example";
const char kTokyoAscii[] = "https://xn--tky-qxac.example";

struct PolicyCase {
  const char* what;
  const char* page;               // the origin the browser states; null: it answers nothing
  std::function<void()> policy;   // the registry as the instance finds it
  const char* outcome;            // print, getPrinters, getMacAddresses: "ok" or the message's code
};

void PrintTo(const PolicyCase& c, std::ostream* out) { *out << c.what; }

std::function<void()> Origins(std::vector<std::string> lines) {
  return [lines] { doubles::SetPolicyValue("AllowedOrigins", REG_MULTI_SZ, doubles::MultiString(lines)); };
}

std::function<void()> Hardware(DWORD type, std::vector<uint8_t> bytes) {
  return [type, bytes] { doubles::SetPolicyValue("AllowHardwareAddresses", type, bytes); };
}

std::function<void()> Both(std::function<void()> first, std::function<void()> second) {
  return [first, second] {
    first();
    second();
  };
}

const PolicyCase kCases[] = {
    {"no key", kPage, [] {}, "ok ok ok"},
    {"no key, no origin", nullptr, [] {}, "ok ok ok"},
    {"key without values", nullptr, doubles::SetPolicyKey, "ok ok ok"},
    {"listed origin", kPage, Origins({kPage}), "ok ok ok"},
    {"listed in other letter case", kPage, Origins({"HTTPS://Shop.Example.COM"}), "ok ok ok"},
    {"listed on a later line", kPage, Origins({"https://a.example", kPage}), "ok ok ok"},
    {"origin not listed", "https://evil.example.net", Origins({kPage}), "501 501 501"},
    {"other scheme", "http://shop.example.com", Origins({kPage}), "501 501 501"},
    {"other port", "https://shop.example.com:8443", Origins({kPage}), "501 501 501"},
    {"default port written in the list", kPage, Origins({"https://shop.example.com:443"}), "ok ok ok"},
    {"default port written by the browser", "http://shop.example.com:80", Origins({"http://shop.example.com"}),
     "ok ok ok"},
    {"port listed", "http://[::1]:8080", Origins({"http://[::1]:8080"}), "ok ok ok"},
    {"subdomain pattern", "https://a.b.example.com", Origins({"https://*.example.com"}), "ok ok ok"},
    {"subdomain pattern, the domain itself", "https://example.com", Origins({"https://*.example.com"}),
     "501 501 501"},
    {"subdomain pattern, a look-alike", "https://badexample.com", Origins({"https://*.example.com"}),
     "501 501 501"},
    {"no origin from the browser", nullptr, Origins({kPage}), "501 501 501"},
    {"opaque origin", "null", Origins({kPage}), "501 501 501"},
    {"empty list", kPage, Origins({}), "501 501 501"},
    {"a malformed line besides a match", kPage, Origins({kPage, "shop.example.com"}), "501 501 501"},
    {"a path", kPage, Origins({"https://shop.example.com/"}), "501 501 501"},
    {"a blank", kPage, Origins({"https://shop.example.com "}), "501 501 501"},
    {"wildcard inside", kPage, Origins({"https://shop.*.com"}), "501 501 501"},
    {"wildcard alone", kPage, Origins({"https://*"}), "501 501 501"},
    {"port out of range", "https://shop.example.com:65536", Origins({"https://shop.example.com:65536"}),
     "501 501 501"},
    // Lines are read as the registry keeps them: one with a character beyond printable ASCII is
    // malformed, never a look-alike ASCII name ("best fit" would make tōkyō tokyo).
    {"line in Unicode, its look-alike", "https://tokyo.example", Origins({kTokyo}), "501 501 501"},
    {"line in Unicode, the site meant", kTokyoAscii, Origins({kTokyo}), "501 501 501"},
    {"line with a full-width full stop", kPage, Origins({kPage, "https://shop\xEF\xBC\x8E" "example.com"}),
     "501 501 501"},
    {"line with a control character", kPage, Origins({"https://shop.example.com\x01"}), "501 501 501"},
    // A page's host stated in UTF-8 is matched in its ASCII form; both forms decide alike.
    {"international page in UTF-8", kTokyo, Origins({kTokyoAscii}), "ok ok ok"},
    {"international page in ASCII", kTokyoAscii, Origins({kTokyoAscii}), "ok ok ok"},
    {"international page, port and letter case", "https://t\xC5\x8Dky\xC5\x8D.EXAMPLE:443",
     Origins({"HTTPS://XN--TKY-QXAC.example"}), "ok ok ok"},
    {"international page, its look-alike listed", kTokyo, Origins({"https://tokyo.example"}), "501 501 501"},
    {"international subdomain", "https://m\xC3\xBCnchen.b\xC3\xBC" "cher.example",
     Origins({"https://*.xn--bcher-kva.example"}), "ok ok ok"},
    {"international label among ASCII ones", "http://shop.\xE4\xB8\xAD\xE6\x96\x87.example:8080",
     Origins({"http://shop.xn--fiq228c.example:8080"}), "ok ok ok"},
    {"international label with ASCII letters in it", "https://B\xC3\xBC" "cher-Shop.example",
     Origins({"https://xn--bcher-shop-9db.example"}), "ok ok ok"},
    {"international label of six characters", "https://\xE3\x83\x89\xE3\x83\xA1\xE3\x82\xA4\xE3\x83\xB3"
     "\xE5\x90\x8D\xE4\xBE\x8B.example", Origins({"https://xn--eckwd4c7cu47r2wf.example"}), "ok ok ok"},
    {"page in malformed UTF-8", "https://t\xC5ky\xC5\x8D.example", Origins({kTokyoAscii}), "501 501 501"},
    {"page with an encoded surrogate", "https://t\xED\xA0\x80.example", Origins({"https://*.example"}),
     "501 501 501"},
    {"page with a full-width full stop", "https://shop\xEF\xBC\x8E" "example.com", Origins({kPage}),
     "501 501 501"},
    {"page label of 63 characters once converted",
     "https://\xC3\xBC" "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.example",
     Origins({"https://*.example"}), "ok ok ok"},
    {"page label too long once converted",
     "https://\xC3\xBC" "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.example",
     Origins({"https://*.example"}), "501 501 501"},
    {"list of the wrong type", kPage,
     [] { doubles::SetPolicyValue("AllowedOrigins", REG_SZ, {'h', 't', 't', 'p', 0}); }, "501 501 501"},
    {"hardware addresses 0", nullptr, Hardware(REG_DWORD, doubles::DwordBytes(0)), "ok ok 502"},
    {"hardware addresses 1", nullptr, Hardware(REG_DWORD, doubles::DwordBytes(1)), "ok ok ok"},
    {"hardware addresses as text", nullptr, Hardware(REG_SZ, {'1', 0}), "ok ok 502"},
    {"hardware addresses in 8 bytes", nullptr, Hardware(11, {1, 0, 0, 0, 0, 0, 0, 0}), "ok ok 502"},
    {"listed origin, hardware addresses 0", kPage,
     Both(Origins({kPage}), Hardware(REG_DWORD, doubles::DwordBytes(0))), "ok ok 502"},
    {"site refused before hardware addresses", "https://evil.example.net",
     Both(Origins({kPage}), Hardware(REG_DWORD, doubles::DwordBytes(0))), "501 501 501"},
    {"key that cannot be opened", kPage, [] { doubles::FailPolicyKeyOpen(ERROR_ACCESS_DENIED); },
     "501 501 501"},
    {"list changed between size query and read", kPage,
     Both(Origins({kPage}), [] { doubles::GrowPolicyValueOnReads(1); }), "ok ok ok"},
    {"list that keeps changing", kPage,
     Both(Origins({kPage}), [] { doubles::GrowPolicyValueOnReads(100); }), "501 501 501"},
};

class SitePolicyTest : public ModuleTest, public ::testing::WithParamInterface<PolicyCase> {
 protected:
  // One method call: "ok", or the code of the message it failed with, after checking that a refusal
  // reaches no platform function and leaves the result as the method's other failures do.
  std::string Outcome(host::Instance& instance, const char* method, const std::vector<NPVariant>& args,
                      NPVariantType refusedResult) {
    const size_t calls = doubles::Calls().size();
    const host::CallOutcome outcome = instance.Call(method, args);
    if (!outcome.threw) return "ok";
    const bool refused = outcome.exception == kSiteNotAllowed || outcome.exception == kHardwareOff;
    if (refused) {
      EXPECT_EQ(doubles::Calls().size(), calls) << method << " reached the platform";
      EXPECT_EQ(outcome.resultType, refusedResult) << method;
      EXPECT_FALSE(outcome.resultBool) << method;
    }
    lastMessage_ = outcome.exception;
    return outcome.exception.substr(1, 3);
  }

  std::string lastMessage_;
};

TEST_P(SitePolicyTest, PolicyDecidesWhatThePageMayUse) {
  const PolicyCase& c = GetParam();
  doubles::SetPrinters({"Label"});
  doubles::SetDefaultPrinter("Label");
  doubles::SetInterfaces({doubles::EthernetRow({0, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})});
  c.policy();
  host::SetDocumentOrigin(c.page);

  const size_t blocks = host::GetCounters().memAllocBlocks;
  host::Instance& instance = NewInstance();
  ASSERT_EQ(instance.created(), NPERR_NO_ERROR);
  EXPECT_EQ(doubles::RegistryCalls().at(0), "RegOpenKeyExA(SOFTWARE\\Policies\\Ternaport\\Print Plugin,101)");
  EXPECT_EQ(doubles::OpenRegistryKeys(), 0u) << "the policy key left open";
  // The origin is kept while the instance lives.
  EXPECT_EQ(host::GetCounters().memAllocBlocks, blocks + (c.page ? 1 : 0));

  NPObject* document = NewObject();
  NPVariant data = host::StringValue("QUJD");
  host::SetProperty(document, "data", data);
  host::Release(data);
  NPVariant documentArg = host::ObjectValue(document);
  NPVariant printersArg = host::ObjectValue(NewArray());
  NPVariant macsArg = host::ObjectValue(NewArray());
  const std::string outcome = Outcome(instance, "print", {documentArg}, NPVariantType_Void) + " " +
                              Outcome(instance, "getPrinters", {printersArg}, NPVariantType_Bool) + " " +
                              Outcome(instance, "getMacAddresses", {macsArg}, NPVariantType_Bool);
  for (NPVariant* arg : {&documentArg, &printersArg, &macsArg}) host::Release(*arg);
  EXPECT_EQ(outcome, c.outcome);
  EXPECT_EQ(doubles::PrintedJobs().size(), c.outcome[0] == 'o' ? 1u : 0u);

  const host::CallOutcome version = instance.Call("getVersion");
  EXPECT_FALSE(version.threw);
  EXPECT_EQ(version.resultText, "0.0.0.11");
  const host::CallOutcome lastError = instance.Call("getLastError");
  EXPECT_FALSE(lastError.threw);
  EXPECT_EQ(lastError.resultText, lastMessage_);
}

INSTANTIATE_TEST_SUITE_P(Cases, SitePolicyTest, ::testing::ValuesIn(kCases));

// Reading the policy needs memory; without it the instance is not made, and nothing, the browser's
// origin included, is left behind. A browser without memory for the origin gives none.
TEST_F(ModuleTest, PolicyReadWithoutMemoryMakesNoInstance) {
  Origins({kPage})();
  Hardware(REG_DWORD, doubles::DwordBytes(1))();
  host::SetDocumentOrigin(kPage);
  for (size_t failing = 1; failing <= 2; ++failing) {
    doubles::FailAllocAt(failing);
    host::Instance instance(plugin_);
    EXPECT_EQ(instance.created(), NPERR_OUT_OF_MEMORY_ERROR) << failing;
    EXPECT_EQ(doubles::OpenRegistryKeys(), 0u);
  }
  doubles::FailAllocAt(0);
  host::FailMemAllocAt(1);
  host::Instance instance(plugin_);
  ASSERT_EQ(instance.created(), NPERR_NO_ERROR);
  EXPECT_EQ(instance.Call("getPrinters", {}).exception, kSiteNotAllowed);
}

}  // namespace
