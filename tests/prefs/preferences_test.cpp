// SPDX-License-Identifier: Apache-2.0
// The per-printer preference record and folder cache, through the real
// domain files in the fixture's preferences folder. Expected cipher texts
// were computed outside this code with
//   openssl enc -aes-128-ecb -nopad -K 5e3a91c07d24b6f8a1e0c94d3b7f2a61
// over the text's bytes zero-filled to a multiple of 16, then xxd (upper
// case) or base64.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "pde/JC.h"
#include "platform/controls.h"
#include "platform/plist.h"
#include "platform/user_defaults.h"
#include "prefs/preference_store.h"
#include "support/binary_plist.h"
#include "support/harness.h"

using jobwick::kModelProfile;
using platform::plist::Array;
using platform::plist::Dict;
using platform::plist::Value;

namespace jwtest {
namespace {

// Fixed-key ciphers of the test texts.
constexpr char kHex1234[] = "E4418B9E63651AB6E7C3FCA966F4AA20";
constexpr char kHex5678[] = "128B174BE23FEF2452E790C01CE87FF9";
constexpr char kHex42[] = "E864292E48D8B3336FB5C71E0BD2DD0A";
constexpr char kHex13579[] = "F321312B8DA369D49A2BD4E6200DA645";
constexpr char kHex1[] = "3EB699E16152D6C9A0031CBDB4DFD5B5";
// "12" followed by e-acute in MacRoman (0x8E).
constexpr char kHex12EAcute[] = "C4D94BD4523BAD333E16A1ABF25C7064";
// "x" (one block) followed by the all-zero second block.
constexpr char kHex64X[] = "37A6C6E21A09258F8B61E5A4694C3C6D00000000000000000000000000000000";
constexpr char kLogin17[] = "abcdefghijklmnopq";
constexpr char kB64Login17[] = "7+J4sLCr+RCYtEu34NavYMabF+OBShSAeJBt165JCrQ=";
constexpr char kB64Ab[] = "QzUVfvc8MqLSdLrDIJB/sw==";
// "J\x9Frgen": the name with u-umlaut in MacRoman.
constexpr char kB64JuergenMacRoman[] = "6c5dCkOC0U6gB8Qki44Dnw==";
// 255 times "a": the login name's byte limit.
constexpr char kB64Login255a[] =
    "hz1jqTU9QO9+oyQPkB+ZdIc9Y6k1PUDvfqMkD5AfmXSHPWOpNT1A736jJA+QH5l0hz1jqTU9QO9+"
    "oyQPkB+ZdIc9Y6k1PUDvfqMkD5AfmXSHPWOpNT1A736jJA+QH5l0hz1jqTU9QO9+oyQPkB+ZdIc9"
    "Y6k1PUDvfqMkD5AfmXSHPWOpNT1A736jJA+QH5l0hz1jqTU9QO9+oyQPkB+ZdIc9Y6k1PUDvfqMk"
    "D5AfmXSHPWOpNT1A736jJA+QH5l0hz1jqTU9QO9+oyQPkB+ZdIc9Y6k1PUDvfqMkD5AfmXSHPWOp"
    "NT1A736jJA+QH5l0BW7Eg+rtkeef5IDTdOoaJg==";

constexpr char kBullets5[] = "\u2022\u2022\u2022\u2022\u2022";

std::string recordKey() {
  return kModelProfile.preferenceRecordKey;
}
std::string modelName() {
  return std::string("Quivo ") + kModelProfile.model;
}

// The panel's rememberable controls, made by hand and connected to a
// controller by outlet name. Only the controls asked for exist.
class Controls {
 public:
  explicit Controls(JC& jc) : jc_(jc) {}

  platform::TextField* field(const char* outlet, const std::string& text) {
    auto control = std::make_shared<platform::TextField>();
    control->setStringValue(text);
    connect(outlet, control);
    return control.get();
  }
  platform::Button* lock(const char* outlet, bool on) {
    auto control = std::make_shared<platform::Button>();
    control->setButtonType(platform::ButtonType::Toggle);
    control->setState(on ? platform::NSOnState : platform::NSOffState);
    connect(outlet, control);
    return control.get();
  }
  platform::ButtonCell* cell(const char* outlet, bool on) {
    auto control = std::make_shared<platform::ButtonCell>();
    control->setState(on ? platform::NSOnState : platform::NSOffState);
    connect(outlet, control);
    return control.get();
  }

 private:
  void connect(const char* outlet, std::shared_ptr<platform::Object> control) {
    EXPECT_TRUE(jc_.setOutletForKey(outlet, control.get())) << outlet;
    owned_.push_back(std::move(control));
  }

  JC& jc_;
  std::vector<std::shared_ptr<platform::Object>> owned_;
};

// The nine text fields of the record with their lock buttons.
struct RememberedField {
  const char* field;
  const char* lock;
  const char* entry;
  std::uint32_t bit;
};
const std::vector<RememberedField>& rememberedFields() {
  static const std::vector<RememberedField> fields = {
      {"suspendKeyEditText", "suspendKeyButton", "pass code", 1},
      {"loginNameEditText", "loginNameButton", "user login name", 2},
      {"passwordEditText", "passwordButton", "user password", 4},
      {"userNameEditText", "userNameButton", "user name", 8},
      {"jobNameEditText", "jobNameButton", "job name", 16},
      {"folderPasswordEditText", "folderPasswordButton", "folder pass code", 32},
      {"userNumberEditText", "userNumberButton", "user number", 64},
      {"accountNumberEditText", "accountNumberButton", "account number", 128},
      {"folderNameEditText", "folderNameButton", "folder name", 256},
  };
  return fields;
}

// The remembered-value field of the controller that a bit loads into.
const std::optional<std::string>& loadedField(const JC& jc, std::uint32_t bit) {
  switch (bit) {
    case 1:
      return jc.prefSuspendKeyStringRef;
    case 2:
      return jc.prefLoginNameStringRef;
    case 4:
      return jc.prefPasswordStringRef;
    case 8:
      return jc.prefUserNameStringRef;
    case 16:
      return jc.prefJobNameStringRef;
    case 32:
      return jc.prefFolderPassStringRef;
    case 64:
      return jc.prefUserNumberStringRef;
    case 128:
      return jc.prefAccountNumberStringRef;
    default:
      return jc.prefFolderNameStringRef;
  }
}

class PreferenceTest : public ControllerTest {
 protected:
  std::filesystem::path domainPath(const std::string& printer = "Office_MFP") const {
    return temp->path() / "prefs" / ("jp.co.quivo.mfp." + printer + ".plist");
  }
  // The domain as another program would see it on disk.
  std::optional<Dict> readDomain(const std::string& printer = "Office_MFP") const {
    auto value = platform::plist::readFile(domainPath(printer).string());
    if (!value || !value->asDict()) return std::nullopt;
    return *value->asDict();
  }
  Dict readRecord(const std::string& printer = "Office_MFP") const {
    auto domain = readDomain(printer);
    if (!domain) return {};
    auto found = domain->find(recordKey());
    if (found == domain->end() || !found->second.asDict()) return {};
    return *found->second.asDict();
  }
  // Writes a domain the way another program would, behind the panel's back.
  void writeDomain(const Dict& domain, const std::string& printer = "Office_MFP") {
    std::ofstream(domainPath(printer), std::ios::binary) << platform::plist::toXml(Value(domain));
  }
  void writeRecord(const Dict& record, const std::string& printer = "Office_MFP") {
    writeDomain(Dict{{recordKey(), Value(record)}}, printer);
  }
  // A record this build keeps at construction, with extra entries.
  static Dict validRecord(Dict extra = {}) {
    extra["Model Name"] = modelName();
    extra["Release Number"] = "2.00";
    return extra;
  }
  static std::string text(const Dict& record, const char* key) {
    auto found = record.find(key);
    if (found == record.end()) return "(missing)";
    return found->second.asString() ? *found->second.asString() : "(not a string)";
  }
};

TEST_F(PreferenceTest, RecordKeyIsTheBuildsPanelName) {
  EXPECT_EQ(recordKey(), kModelProfile.readsPPDModelFlags ? "Job Handling" : "Jobwick");
}

TEST_F(PreferenceTest, FirstUseCreatesAnEmptyRecordAndLoadsNothing) {
  auto jc = makeController();
  EXPECT_EQ(readRecord(), (Dict{{"Model Name", modelName()}, {"Release Number", "2.00"}}));
  EXPECT_EQ(jc->prefHoldButtonFlag, 0u);
  EXPECT_FALSE(jc->prefAuthenticationBooleanRef);
  EXPECT_FALSE(jc->folderList);
  const auto mode = std::filesystem::status(domainPath()).permissions();
  EXPECT_EQ(mode & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
            std::filesystem::perms::none);
}

TEST_F(PreferenceTest, RoundTripLoadsExactlyTheLockedValues) {
  auto jc = makeController();
  Controls c(*jc);
  const std::vector<std::pair<const char*, std::string>> texts = {
      {"suspendKeyEditText", "1234"},   {"loginNameEditText", kLogin17},
      {"passwordEditText", "x"},        {"userNameEditText", "Jane Doe"},
      {"jobNameEditText", "Report Q4"}, {"folderPasswordEditText", "13579"},
      {"userNumberEditText", "5678"},   {"accountNumberEditText", "42"},
      {"folderNameEditText", "Sales"},
  };
  for (const auto& [outlet, value] : texts) c.field(outlet, value);
  const std::uint32_t locked = 1 | 4 | 8 | 128 | 256;
  std::vector<platform::Button*> locks;
  for (const auto& item : rememberedFields()) locks.push_back(c.lock(item.lock, locked & item.bit));
  c.cell("authenticationRadioButton", true);

  ASSERT_TRUE(jc->SaveUserPreference());
  const Dict expected = {
      {"Model Name", modelName()},     {"Release Number", "2.00"}, {"hold button", Value(397)},
      {"authentication", Value(true)}, {"pass code", kHex1234},    {"user login name", kB64Login17},
      {"user password", kHex64X},      {"user name", "Jane Doe"},  {"job name", "Report Q4"},
      {"folder pass code", kHex13579}, {"user number", kHex5678},  {"account number", kHex42},
      {"folder name", "Sales"},
  };
  EXPECT_EQ(readRecord(), expected);

  // Every value is stored, but only the locked ones come back.
  auto next = makeController();
  EXPECT_EQ(next->prefHoldButtonFlag, locked);
  EXPECT_EQ(next->prefAuthenticationBooleanRef, true);
  for (const auto& item : rememberedFields()) {
    const auto& loaded = loadedField(*next, item.bit);
    if (locked & item.bit) {
      EXPECT_EQ(loaded, text(expected, item.entry)) << item.entry;
    } else {
      EXPECT_FALSE(loaded) << item.entry;
    }
  }

  // Save then load within one controller, as at a confirmed print: the
  // fields follow what was just stored.
  for (auto* lock : locks) lock->setState(platform::NSOnState);
  ASSERT_TRUE(jc->SaveUserPreference());
  jc->GetUserPreference();
  EXPECT_EQ(jc->prefHoldButtonFlag, 511u);
  for (const auto& item : rememberedFields()) {
    EXPECT_EQ(loadedField(*jc, item.bit), text(expected, item.entry)) << item.entry;
  }
}

TEST_F(PreferenceTest, CipherFormsOfTheStoredSecrets) {
  struct Case {
    const char* field;
    std::string typed;
    const char* entry;
    std::string stored;
  };
  const std::vector<Case> cases = {
      // Empty secrets are stored as "", never as a cipher of nothing.
      {"suspendKeyEditText", "", "pass code", ""},
      {"loginNameEditText", "", "user login name", ""},
      {"passwordEditText", "", "user password", ""},
      {"userNumberEditText", "", "user number", ""},
      {"accountNumberEditText", "", "account number", ""},
      {"folderPasswordEditText", "", "folder pass code", ""},
      // One block, and the all-zero second block of hex-64.
      {"passwordEditText", "x", "user password", kHex64X},
      // 17 bytes: two blocks, 44 Base64 characters.
      {"loginNameEditText", kLogin17, "user login name", kB64Login17},
      // Converted to the system encoding (MacRoman here), not UTF-8.
      {"loginNameEditText", "J\u00fcrgen", "user login name", kB64JuergenMacRoman},
      {"suspendKeyEditText", "12\u00e9", "pass code", kHex12EAcute},
      // Conversion stops at the first character the encoding cannot hold.
      {"loginNameEditText", "ab\u4e2dcd", "user login name", kB64Ab},
      {"userNumberEditText", "1\u4e2d2", "user number", kHex1},
      {"suspendKeyEditText", "\u4e2d1", "pass code", ""},
      // The folder password must be ASCII as a whole.
      {"folderPasswordEditText", "13579", "folder pass code", kHex13579},
      {"folderPasswordEditText", "12\u00e9", "folder pass code", ""},
      // At most 255 bytes of login name.
      {"loginNameEditText", std::string(300, 'a'), "user login name", kB64Login255a},
      // Plain-text entries are stored as typed.
      {"userNameEditText", "J\u00fcrgen \u4e2d", "user name", "J\u00fcrgen \u4e2d"},
  };
  for (const auto& c : cases) {
    auto jc = makeController();
    Controls controls(*jc);
    controls.field(c.field, c.typed);
    ASSERT_TRUE(jc->SaveUserPreference()) << c.field;
    EXPECT_EQ(text(readRecord(), c.entry), c.stored) << c.field << " \"" << c.typed << "\"";
  }
  EXPECT_EQ(std::string(kB64Login17).size(), 44u);
}

TEST_F(PreferenceTest, LockedLoginNameIsStoredFromTheHeldCopy) {
  writeRecord(validRecord({{"user login name", "earlier"}}));
  auto jc = makeController();
  Controls c(*jc);
  c.field("loginNameEditText", kBullets5);
  platform::Button* lock = c.lock("loginNameButton", true);

  // Locked without a held copy: the entry stays as it was.
  ASSERT_TRUE(jc->SaveUserPreference());
  EXPECT_EQ(text(readRecord(), "user login name"), "earlier");
  EXPECT_EQ(readRecord().at("hold button"), Value(2));

  // Locked with the held copy: the name, never the bullets.
  jc->loginNameStringRef = kLogin17;
  ASSERT_TRUE(jc->SaveUserPreference());
  EXPECT_EQ(text(readRecord(), "user login name"), kB64Login17);

  // Unlocked: the field's text.
  lock->setState(platform::NSOffState);
  jc->loginNameStringRef.reset();
  jc->setOutletForKey("loginNameEditText", nullptr);
  c.field("loginNameEditText", "ab");
  ASSERT_TRUE(jc->SaveUserPreference());
  EXPECT_EQ(text(readRecord(), "user login name"), kB64Ab);
  EXPECT_EQ(readRecord().at("hold button"), Value(0));
}

TEST_F(PreferenceTest, MissingControlsLeaveTheirEntriesAsTheyWere) {
  Dict earlier;
  for (const auto& item : rememberedFields()) earlier[item.entry] = "earlier";
  writeRecord(validRecord(earlier));
  auto jc = makeController();

  // No controls at all: every text entry stays, the mask and the
  // authentication choice are those of absent controls.
  ASSERT_TRUE(jc->SaveUserPreference());
  Dict expected = validRecord(earlier);
  expected["hold button"] = 0;
  expected["authentication"] = false;
  EXPECT_EQ(readRecord(), expected);

  // Lock buttons without their fields still count in the mask.
  Controls c(*jc);
  for (const auto& item : rememberedFields()) c.lock(item.lock, true);
  ASSERT_TRUE(jc->SaveUserPreference());
  expected["hold button"] = 511;
  EXPECT_EQ(readRecord(), expected);
}

TEST_F(PreferenceTest, ConstructionReplacesARecordOfAnotherModelOrRelease) {
  const Array files = {Value(Dict{{"name", "Sales"}, {"password", false}})};
  struct Case {
    const char* label;
    Value record;
    bool kept;
  };
  const std::vector<Case> cases = {
      {"same model and release", validRecord(), true},
      {"other model", Dict{{"Model Name", "Quivo vk9999"}, {"Release Number", "2.00"}}, false},
      {"model in other case",
       Dict{{"Model Name", "QUIVO " + std::string(kModelProfile.model)},
            {"Release Number", "2.00"}},
       false},
      {"other release", Dict{{"Model Name", modelName()}, {"Release Number", "2.0"}}, false},
      {"no release", Dict{{"Model Name", modelName()}}, false},
      {"release as a number", Dict{{"Model Name", modelName()}, {"Release Number", 2.0}}, false},
      {"record not a dictionary", Value("Quivo"), false},
  };
  for (const auto& c : cases) {
    Value record = c.record;
    if (Dict* dict = record.asDict()) {
      (*dict)["hold button"] = 1;
      (*dict)["pass code"] = kHex1234;
      (*dict)["files"] = files;
    }
    writeDomain(Dict{{recordKey(), record}, {"Other Panel", Dict{{"size", 3}}}});

    auto jc = makeController();
    const Dict stored = readRecord();
    if (c.kept) {
      EXPECT_EQ(stored, *record.asDict()) << c.label;
      EXPECT_EQ(jc->prefHoldButtonFlag, 1u) << c.label;
      EXPECT_EQ(jc->prefSuspendKeyStringRef, kHex1234) << c.label;
      ASSERT_TRUE(jc->folderList) << c.label;
      EXPECT_EQ(jc->folderList->size(), 1u) << c.label;
    } else {
      EXPECT_EQ(stored, (Dict{{"Model Name", modelName()}, {"Release Number", "2.00"}})) << c.label;
      EXPECT_EQ(jc->prefHoldButtonFlag, 0u) << c.label;
      EXPECT_FALSE(jc->prefSuspendKeyStringRef) << c.label;
      EXPECT_FALSE(jc->folderList) << c.label;
    }
    EXPECT_EQ(readDomain()->at("Other Panel"), Value(Dict{{"size", 3}})) << c.label;
  }
}

TEST_F(PreferenceTest, OpeningThePanelOverARightRecordWritesNothing) {
  namespace fs = std::filesystem;
  struct Case {
    const char* label;
    Dict record;
    bool untouched;
  };
  const std::vector<Case> cases = {
      {"right record", validRecord({{"hold button", 1}, {"pass code", kHex1234}}), true},
      {"bare right record", validRecord(), true},
      {"other release", Dict{{"Model Name", modelName()}, {"Release Number", "1.00"}}, false},
  };
  const auto stamp = fs::file_time_type(std::chrono::hours(24 * 365 * 30));
  for (const auto& c : cases) {
    writeRecord(c.record);
    fs::last_write_time(domainPath(), stamp);
    fs::last_write_time(domainPath().parent_path(), stamp);
    const auto listing = [&] {
      std::vector<fs::path> names;
      for (const auto& e : fs::directory_iterator(domainPath().parent_path())) {
        names.push_back(e.path().filename());
      }
      std::sort(names.begin(), names.end());
      return names;
    };
    const auto bytes = [&] {
      std::ifstream in(domainPath(), std::ios::binary);
      return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::vector<fs::path> namesBefore = listing();
    const std::string bytesBefore = bytes();

    auto jc = makeController();
    jc->panelView();
    if (c.untouched) {
      EXPECT_EQ(bytes(), bytesBefore) << c.label;
      EXPECT_EQ(fs::last_write_time(domainPath()), stamp) << c.label;
      EXPECT_EQ(fs::last_write_time(domainPath().parent_path()), stamp) << c.label;
      EXPECT_EQ(listing(), namesBefore) << c.label;
    } else {
      EXPECT_NE(fs::last_write_time(domainPath()), stamp) << c.label;
      EXPECT_EQ(readRecord(), validRecord()) << c.label;
    }
  }
}

TEST_F(PreferenceTest, EntriesThePanelDoesNotOwnSurviveEveryWrite) {
  const Value other = Dict{{"list", Array{Value(1), Value("two"), Value(true)}},
                           {"data", platform::plist::Data{0, 1, 2}}};
  writeDomain(Dict{{recordKey(), validRecord({{"Custom Entry", "kept"}, {"address", "old"}})},
                   {"Other Panel", other},
                   {"Volume", 0.5}});
  auto check = [&](const char* step) {
    auto domain = readDomain();
    ASSERT_TRUE(domain) << step;
    EXPECT_EQ(domain->at("Other Panel"), other) << step;
    EXPECT_EQ(domain->at("Volume"), Value(0.5)) << step;
    EXPECT_EQ(text(readRecord(), "Custom Entry"), "kept") << step;
    EXPECT_EQ(domain->size(), 3u) << step;
  };

  auto jc = makeController();
  check("construction");
  Controls c(*jc);
  c.field("userNameEditText", "Jane");
  ASSERT_TRUE(jc->SaveUserPreference());
  check("user preference");
  ASSERT_TRUE(jc->SaveFolderPreference());
  check("folder preference");
  // Nothing to store for the folders: address and files stay.
  EXPECT_EQ(text(readRecord(), "address"), "old");
  EXPECT_EQ(text(readRecord(), "user name"), "Jane");
}

TEST_F(PreferenceTest, WrongTypesInTheRecordAreTreatedAsMissing) {
  struct Case {
    const char* label;
    Dict entries;
    std::uint32_t mask;
    std::optional<std::string> passCode;
    std::optional<std::string> userName;
    std::optional<bool> authentication;
  };
  const std::vector<Case> cases = {
      {"mask as text",
       {{"hold button", "9"}, {"pass code", "P"}, {"user name", "U"}, {"authentication", true}},
       0,
       std::nullopt,
       std::nullopt,
       std::nullopt},
      {"mask as an integral real",
       {{"hold button", 9.0}, {"pass code", "P"}, {"authentication", true}},
       9,
       "P",
       std::nullopt,
       true},
      {"mask as a fractional real",
       {{"hold button", 9.5}, {"pass code", "P"}, {"authentication", true}},
       0,
       std::nullopt,
       std::nullopt,
       std::nullopt},
      {"mask as a real beyond 32 bits",
       {{"hold button", 4294967305.0}, {"pass code", "P"}},
       0,
       std::nullopt,
       std::nullopt,
       std::nullopt},
      {"mask beyond 32 bits",
       {{"hold button", std::int64_t(1) << 40 | 9}, {"pass code", "P"}},
       0,
       std::nullopt,
       std::nullopt,
       std::nullopt},
      {"negative mask",
       {{"hold button", -1}, {"pass code", "P"}, {"user name", "U"}, {"authentication", false}},
       0xFFFFFFFFu,
       "P",
       "U",
       false},
      {"pass code as a number",
       {{"hold button", 9}, {"pass code", 1234}, {"user name", "U"}, {"authentication", true}},
       9,
       std::nullopt,
       "U",
       true},
      {"entries as other containers",
       {{"hold button", 9},
        {"pass code", Array{Value("P")}},
        {"user name", Dict{}},
        {"authentication", "yes"}},
       9,
       std::nullopt,
       std::nullopt,
       std::nullopt},
      {"authentication as a number",
       {{"hold button", 9}, {"pass code", "P"}, {"user name", "U"}, {"authentication", 1}},
       9,
       "P",
       "U",
       std::nullopt},
  };
  for (const auto& c : cases) {
    writeRecord(validRecord(c.entries));
    auto jc = makeController();
    EXPECT_EQ(jc->prefHoldButtonFlag, c.mask) << c.label;
    EXPECT_EQ(jc->prefSuspendKeyStringRef, c.passCode) << c.label;
    EXPECT_EQ(jc->prefUserNameStringRef, c.userName) << c.label;
    EXPECT_EQ(jc->prefAuthenticationBooleanRef, c.authentication) << c.label;
    // The record itself is the model's and stays as it was.
    EXPECT_EQ(readRecord(), validRecord(c.entries)) << c.label;
    // Writing over wrong types works and leaves the right types.
    Controls controls(*jc);
    controls.field("suspendKeyEditText", "1234");
    controls.lock("suspendKeyButton", true);
    ASSERT_TRUE(jc->SaveUserPreference()) << c.label;
    jc->GetUserPreference();
    EXPECT_EQ(jc->prefSuspendKeyStringRef, kHex1234) << c.label;
  }
}

TEST_F(PreferenceTest, FolderCacheIsLoadedFromTheRecord) {
  // No record, or a record without "files".
  EXPECT_FALSE(makeController()->folderList);

  writeRecord(validRecord({{"files", Array{}}}));
  auto empty = makeController();
  ASSERT_TRUE(empty->folderList);
  EXPECT_TRUE(empty->folderList->empty());

  const Dict sales = {{"name", "Sales"}, {"password", true}, {"dir", true}, {"add", false}};
  const Dict open = {
      {"name", "Open"}, {"password", false}, {"dir", false}, {"add", false}, {"note", "kept"}};
  writeRecord(validRecord({{"files", Array{Value(sales), Value(open)}}}));
  auto two = makeController();
  ASSERT_TRUE(two->folderList);
  EXPECT_EQ(*two->folderList, (FolderList{sales, open}));
}

TEST_F(PreferenceTest, FolderCacheKeepsOnlyEntriesTheMenuCanShow) {
  const Array stored = {
      Value("Sales"),                                 // not a dictionary
      Value(Dict{{"password", true}}),                // no name
      Value(Dict{{"name", 7}, {"password", false}}),  // name not a string
      Value(Dict{{"name", "A"}, {"password", "yes"}, {"dir", 1}, {"add", false}}),
      Value(Dict{{"name", "B"}}),
      Value(Dict{{"name", ""}, {"password", true}}),
      // Numbers as flags, as another writer of the domain may store them.
      Value(Dict{{"name", "C"}, {"password", 1}, {"dir", 0}, {"add", 2.0}}),
  };
  writeRecord(validRecord({{"files", stored}}));
  auto jc = makeController();
  ASSERT_TRUE(jc->folderList);
  const FolderList usable = {
      {{"name", "A"}, {"password", false}, {"dir", true}, {"add", false}},
      {{"name", "B"}},
      {{"name", ""}, {"password", true}},
      {{"name", "C"}, {"password", true}, {"dir", false}, {"add", true}},
  };
  EXPECT_EQ(*jc->folderList, usable);
  // Written back as the panel read it: the protected folder stays protected.
  ASSERT_TRUE(jc->SaveFolderPreference());
  EXPECT_EQ(makeController()->folderList, usable);
  const Dict record = readRecord();
  const Array* files = record.at("files").asArray();
  ASSERT_TRUE(files);
  EXPECT_EQ(files->back(), Value(*std::prev(usable.end())));

  writeRecord(validRecord({{"files", "Sales"}}));
  auto notAList = makeController();
  ASSERT_TRUE(notAList->folderList);
  EXPECT_TRUE(notAList->folderList->empty());
}

// A large cached list costs a print nothing: the panel, its menu and the
// save at Print leave it unread, the record written keeps it as it was, and
// the next panel's menu shows every folder.
TEST_F(PreferenceTest, ALargeCachedListIsReadOnlyWhenItsFoldersAreShown) {
  constexpr int kFolders = 1000;  // a list of some 150 KB
  Array files;
  for (int i = 0; i < kFolders; ++i) {
    files.emplace_back(Dict{{"name", "Folder <" + std::to_string(i) + ">"},
                            {"password", i % 7 == 0},
                            {"dir", false},
                            {"add", false}});
  }
  writeRecord(validRecord({{"files", files}, {"address", "10.0.0.5"}}));
  auto withMenu = [](JC& jc, std::vector<std::shared_ptr<platform::Object>>& owned) {
    auto popup = std::make_shared<platform::PopUpButton>();
    for (const char* title : {"Quick File", "Main Folder"}) {
      popup->menu()->addItem(std::make_shared<platform::MenuItem>(title, "", ""));
    }
    EXPECT_TRUE(jc.setOutletForKey("folderSelectionPopup", popup.get()));
    owned.push_back(popup);
    jc.makeFolderPopup();
    return popup.get();
  };

  std::vector<std::shared_ptr<platform::Object>> owned;
  auto jc = makeController();
  ASSERT_TRUE(jc->folderList);
  platform::PopUpButton* popup = withMenu(*jc, owned);
  popup->selectItemAtIndex(1);  // the ticket's main folder
  Controls c(*jc);
  c.field("userNameEditText", "Ann");
  c.lock("userNameButton", true);
  ASSERT_TRUE(jc->SaveUserPreference());
  jc->GetUserPreference();
  EXPECT_EQ(popup->indexOfSelectedItem(), 1);
  EXPECT_FALSE(jc->folderList->isMade()) << "the print looked at the cached folders";

  const Dict record = readRecord();
  EXPECT_EQ(text(record, "user name"), "Ann");
  EXPECT_EQ(text(record, "address"), "10.0.0.5");
  EXPECT_EQ(record.at("files"), Value(files));

  auto next = makeController();
  platform::PopUpButton* shown = withMenu(*next, owned);
  ASSERT_EQ(shown->numberOfItems(), 3 + kFolders);
  EXPECT_EQ(shown->menu()->itemAtIndex(3 + 7)->title(), "Folder <7>");
  EXPECT_EQ(shown->menu()->itemAtIndex(3 + 7)->image()->name(), "icon:lock");
  EXPECT_EQ(shown->menu()->itemAtIndex(3 + kFolders - 1)->title(),
            "Folder <" + std::to_string(kFolders - 1) + ">");
  EXPECT_EQ(next->SearchSameFolderName("folder <999>"), 3 + kFolders - 1);
}

TEST_F(PreferenceTest, FolderCacheIsStoredPerPrinter) {
  auto first = makeController(makeHost({}, "Office_MFP"));
  auto second = makeController(makeHost({}, "Lobby_MFP"));
  Controls a(*first), b(*second);
  a.field("printersAddressEditText", "");
  b.field("printersAddressEditText", "10.0.0.9");
  const FolderEntry sales = {{"name", "Sales"}, {"password", true}, {"dir", false}, {"add", false}};
  first->folderList = FolderList{sales};
  second->folderList = FolderList{};
  ASSERT_TRUE(first->SaveFolderPreference());
  ASSERT_TRUE(second->SaveFolderPreference());

  EXPECT_EQ(text(readRecord("Office_MFP"), "address"), "");
  EXPECT_EQ(readRecord("Office_MFP").at("files"), Value(Array{Value(sales)}));
  EXPECT_EQ(text(readRecord("Lobby_MFP"), "address"), "10.0.0.9");
  EXPECT_EQ(readRecord("Lobby_MFP").at("files"), Value(Array{}));

  EXPECT_EQ(makeController(makeHost({}, "Office_MFP"))->folderList, FolderList{sales});
  EXPECT_EQ(makeController(makeHost({}, "Lobby_MFP"))->folderList, FolderList{});

  // Without a list the stored files stay; without the field the address.
  first->folderList.reset();
  first->setOutletForKey("printersAddressEditText", nullptr);
  ASSERT_TRUE(first->SaveFolderPreference());
  EXPECT_EQ(text(readRecord("Office_MFP"), "address"), "");
  EXPECT_EQ(readRecord("Office_MFP").at("files"), Value(Array{Value(sales)}));
}

TEST_F(PreferenceTest, CacheIsLoadedWhateverThePrintSystemFlag) {
  writeRecord(validRecord({{"files", Array{Value(Dict{{"name", "Sales"}})}}}));
  auto jc = makeController(makeHost({"*ARQuivoPrintSystem: True"}));
  EXPECT_EQ(jc->quivo_print_system, kModelProfile.readsPPDModelFlags);
  ASSERT_TRUE(jc->folderList);
  EXPECT_EQ(jc->folderList->size(), 1u);
}

TEST_F(PreferenceTest, WithoutADomainNameNothingIsReadOrWritten) {
  auto host = makeHost();
  host->hasSession = false;
  auto jc = makeController(host);
  ASSERT_FALSE(jc->preferenceName);
  Controls c(*jc);
  c.field("userNameEditText", "Jane");
  c.lock("userNameButton", true);
  jc->folderList = FolderList{};
  EXPECT_FALSE(jc->SaveUserPreference());
  EXPECT_FALSE(jc->SaveFolderPreference());
  jc->prefHoldButtonFlag = 8;
  jc->GetUserPreference();
  jc->GetFolderPreference();
  EXPECT_EQ(jc->prefHoldButtonFlag, 8u);
  EXPECT_TRUE(jc->folderList);
  EXPECT_TRUE(std::filesystem::is_empty(temp->path() / "prefs"));
}

TEST_F(PreferenceTest, AFailedWriteIsReportedAsSuch) {
  auto jc = makeController();
  Controls c(*jc);
  c.field("printersAddressEditText", "10.0.0.5");
  jc->folderList = FolderList{};
  // A preferences folder that cannot be made: its parent is a plain file.
  const auto blocker = writeFile(temp->path(), "blocker", "not a folder");
  platform::UserDefaults::takeFailedWrites();
  platform::UserDefaults::setPreferencesFolderOverride(blocker / "prefs");
  EXPECT_FALSE(jc->SaveUserPreference());
  EXPECT_FALSE(jc->SaveFolderPreference());
  jc->CheckPreference();  // does no harm either
  // The program around the panel learns why, once.
  const auto failed = platform::UserDefaults::takeFailedWrites();
  ASSERT_EQ(failed.size(), 3u);
  for (const auto& write : failed) {
    EXPECT_EQ(write.domain, "jp.co.quivo.mfp.Office_MFP");
    EXPECT_EQ(write.reason, "Not a directory");
  }
  EXPECT_TRUE(platform::UserDefaults::takeFailedWrites().empty());
  platform::UserDefaults::setPreferencesFolderOverride(temp->path() / "prefs");
  EXPECT_TRUE(jc->SaveFolderPreference());
  EXPECT_EQ(text(readRecord(), "address"), "10.0.0.5");
  EXPECT_TRUE(platform::UserDefaults::takeFailedWrites().empty());
}

TEST_F(PreferenceTest, DatesElsewhereInTheDomainStayDates) {
  const std::string date = "<date>2020-01-02T03:04:05Z</date>";
  std::ofstream(domainPath(), std::ios::binary)
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      << "<key>Last Used</key>" << date << "<key>" << recordKey() << "</key><dict>"
      << "<key>Model Name</key><string>" << modelName() << "</string>"
      << "<key>Release Number</key><string>2.00</string>"
      << "<key>Stamp</key>" << date << "</dict></dict></plist>\n";
  auto jc = makeController();
  Controls c(*jc);
  c.field("userNameEditText", "Jane");
  ASSERT_TRUE(jc->SaveUserPreference());
  std::ifstream in(domainPath(), std::ios::binary);
  const std::string written(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(text(readRecord(), "user name"), "Jane");
  const auto first = written.find(date);
  ASSERT_NE(first, std::string::npos) << written;
  EXPECT_NE(written.find(date, first + 1), std::string::npos) << written;
  EXPECT_EQ(written.find("<real>"), std::string::npos) << written;
}

// libplist ends a text at a NUL, in reading a binary list (one-byte texts
// and keys) as in writing any list. A domain another program wrote in
// binary form with such a text is therefore never rewritten: the panel's
// save is a failed write naming the place, and the file stays byte for
// byte. A NUL in a value the panel itself would store is refused alike. A
// binary list without one is rewritten with every entry kept.
TEST_F(PreferenceTest, ATextWithANulIsNeverCutByAWrite) {
  using OtherEntry = std::function<std::pair<std::size_t, std::size_t>(BinaryPlist&)>;
  auto entry = [](std::string key, std::string value) -> OtherEntry {
    return [=](BinaryPlist& list) { return std::pair(list.ascii(key), list.ascii(value)); };
  };
  const std::string kept = "the file holds a NUL character in ";
  const std::string lost = ", which writing it again would lose";
  struct Case {
    const char* label;
    OtherEntry other;
    std::string userName;
    std::string reason;  // empty: the save goes through
  };
  const std::vector<Case> cases = {
      {"one-byte text", entry("Other App", std::string("a\0b", 3)), "Jane",
       kept + "\"Other App\"" + lost},
      {"UTF-16 text",
       [](BinaryPlist& list) {
         return std::pair(list.ascii("Other App"),
                          list.utf16(std::u16string(u"\u00e9\0\u00fc", 3)));
       },
       "Jane", kept + "\"Other App\"" + lost},
      {"key", entry(std::string("Other\0App", 9), "x"), "Jane", kept + "\"Other\\0App\"" + lost},
      {"nested text",
       [](BinaryPlist& list) {
         const std::size_t notes = list.ascii("notes");
         const std::size_t text = list.ascii(std::string("a\0b", 3));
         return std::pair(list.ascii("Other App"), list.dict({{notes, text}}));
       },
       "Jane", kept + "\"Other App\" > \"notes\"" + lost},
      {"the panel's own value", entry("Other App", "plain"), std::string("Ja\0ne", 5),
       "a NUL character in \"" + recordKey() + "\" > \"user name\" cannot be stored"},
      {"no NUL anywhere", entry("Other App", "plain"), "Jane", ""},
  };
  for (const Case& c : cases) {
    BinaryPlist list;
    const std::size_t model = list.ascii("Model Name"), modelValue = list.ascii(modelName());
    const std::size_t release = list.ascii("Release Number"), two = list.ascii("2.00");
    const std::size_t record = list.dict({{model, modelValue}, {release, two}});
    const std::size_t key = list.ascii(recordKey());
    const std::string bytes = list.bytes(list.dict({{key, record}, c.other(list)}));
    std::ofstream(domainPath(), std::ios::binary | std::ios::trunc) << bytes;
    platform::UserDefaults::takeFailedWrites();

    auto jc = makeController();
    Controls controls(*jc);
    controls.field("userNameEditText", c.userName);
    EXPECT_EQ(jc->SaveUserPreference(), c.reason.empty()) << c.label;
    const auto failed = platform::UserDefaults::takeFailedWrites();
    if (c.reason.empty()) {
      EXPECT_TRUE(failed.empty()) << c.label;
      EXPECT_EQ(readDomain()->at("Other App"), Value("plain")) << c.label;
      EXPECT_EQ(text(readRecord(), "user name"), "Jane") << c.label;
      continue;
    }
    ASSERT_EQ(failed.size(), 1u) << c.label;
    EXPECT_EQ(failed[0].domain, "jp.co.quivo.mfp.Office_MFP") << c.label;
    EXPECT_EQ(failed[0].reason, c.reason) << c.label;
    std::ifstream in(domainPath(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes) << c.label;
  }
}

// A dialog in another process saves the same printer's record while this
// one is saving: the second read-modify-write waits for the first and edits
// what it wrote, so neither change is lost.
TEST_F(PreferenceTest, SavesOfTwoProcessesAtOnceLoseNothing) {
  const std::optional<std::string> domain = "jp.co.quivo.mfp.Office_MFP";
  std::vector<pid_t> children;  // those still to be reaped
  std::vector<int> statuses;
  const bool saved = jobwick::prefs::updateRecord(domain, [&](Dict& record) {
    record["user name"] = "Jane";
    const pid_t child = ::fork();
    if (child == 0) {
      const bool fetched =
          jobwick::prefs::updateRecord(domain, [](Dict& other) { other["address"] = "10.0.0.5"; });
      ::_exit(fetched ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    // Time enough for the other save to finish, unless it waits for this one.
    int status = 0;
    for (int i = 0; i < 50; ++i) {
      if (::waitpid(child, &status, WNOHANG) == child) {
        statuses.push_back(status);
        return;
      }
      ::usleep(10000);
    }
    children.push_back(child);
  });
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    statuses.push_back(status);
  }
  EXPECT_TRUE(saved);
  for (const int status : statuses) EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const Dict record = readRecord();
  EXPECT_EQ(text(record, "user name"), "Jane");
  EXPECT_EQ(text(record, "address"), "10.0.0.5");
}

TEST_F(PreferenceTest, ACorruptedDomainFileIsKeptAsideAndThePanelStillWorks) {
  const char bytes[] = "<?xml version=\"1.0\"?><plist><dict><key>Job\xff\x00\x13 garbage";
  const std::string garbage(bytes, sizeof bytes - 1);
  std::ofstream(domainPath(), std::ios::binary) << garbage;

  auto jc = makeController();
  const auto aside = domainPath().string() + ".corrupt";
  ASSERT_TRUE(std::filesystem::exists(aside));
  std::ifstream in(aside, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), garbage);

  // The domain starts afresh and takes the panel's values.
  EXPECT_EQ(readRecord(), (Dict{{"Model Name", modelName()}, {"Release Number", "2.00"}}));
  Controls c(*jc);
  c.field("jobNameEditText", "Report");
  c.lock("jobNameButton", true);
  ASSERT_TRUE(jc->SaveUserPreference());
  EXPECT_EQ(makeController()->prefJobNameStringRef, "Report");
}

}  // namespace
}  // namespace jwtest
