// SPDX-License-Identifier: Apache-2.0
// Property lists: round trips of every value type, binary input, and
// malformed or hostile input that must fail cleanly.
#include "platform/plist.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using platform::plist::Array;
using platform::plist::Data;
using platform::plist::Dict;
using platform::plist::Value;
namespace plist = platform::plist;

using Bytes = std::vector<std::uint8_t>;

// A binary property list ("bplist00") from raw objects, with 4-byte offsets
// and 4-byte object references; object `top` is the root.
std::string binaryPlist(const std::vector<Bytes>& objects, std::uint64_t top = 0) {
  std::string out = "bplist00";
  std::vector<std::uint32_t> offsets;
  for (const Bytes& object : objects) {
    offsets.push_back(std::uint32_t(out.size()));
    out.append(object.begin(), object.end());
  }
  auto putBig = [&out](std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(char((value >> (8 * i)) & 0xFF));
  };
  const std::uint64_t table = out.size();
  for (std::uint32_t offset : offsets) putBig(offset, 4);
  out.append(6, '\0');
  out.push_back(4);  // offset size
  out.push_back(4);  // reference size
  putBig(objects.size(), 8);
  putBig(top, 8);
  putBig(table, 8);
  return out;
}

Bytes ref(std::uint32_t index) {
  return {Bytes::value_type(index >> 24), Bytes::value_type(index >> 16),
          Bytes::value_type(index >> 8), Bytes::value_type(index)};
}

// An array object holding the given references.
Bytes arrayOf(const std::vector<std::uint32_t>& refs) {
  Bytes out{std::uint8_t(0xA0 | refs.size())};
  for (std::uint32_t r : refs) {
    Bytes b = ref(r);
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

std::string repeat(const std::string& text, std::size_t times) {
  std::string out;
  out.reserve(text.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += text;
  return out;
}

// `length` arrays, each holding the next, written straight out (a vector
// per object would be slow at this size).
std::string binaryChain(std::uint32_t length) {
  std::string out = "bplist00";
  auto putBig = [&out](std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(char((value >> (8 * i)) & 0xFF));
  };
  for (std::uint32_t i = 1; i < length; ++i) {
    out += char(0xA1);
    putBig(i, 4);
  }
  out += char(0xA0);
  const std::uint64_t table = out.size();
  for (std::uint32_t i = 0; i < length; ++i) putBig(8 + 5 * i, 4);
  out += std::string(6, '\0') + "\x04\x04";
  putBig(length, 8);
  putBig(0, 8);
  putBig(table, 8);
  return out;
}

Value everyType() {
  Data allBytes;
  for (int i = 0; i < 256; ++i) allBytes.push_back(std::uint8_t(i));
  return Dict{
      {"yes", true},
      {"no", false},
      {"zero", 0},
      {"one", 1},
      {"minus", -1},
      {"min", std::numeric_limits<std::int64_t>::min()},
      {"max", std::numeric_limits<std::int64_t>::max()},
      {"half", 0.5},
      {"huge", -1e300},
      {"date", plist::Date{599627045, 0}},
      {"empty text", ""},
      {"text", "Grüße, 日本語, ✓ 🖨"},
      {"markup", "<dict> & \"quotes\" 'apos' ]]>"},
      {"spaces", "  leading and trailing  \n"},
      {"no data", Data{}},
      {"data", allBytes},
      {"empty array", Array{}},
      {"empty dict", Dict{}},
      {"Ünïcödé key", "value"},
      {"<key> & \"markup\"", 1},
      {"nested", Array{Value(Dict{{"name", "Folder"}, {"password", true}, {"dir", false}}),
                       Value(Array{Value(1), Value(true), Value("1"), Value(1.0)}), Value(Dict{})}},
  };
}

TEST(Plist, EveryValueTypeSurvivesTheXmlForm) {
  const Value original = everyType();
  const std::string xml = plist::toXml(original);
  std::string error;
  const auto parsed = plist::parse(xml, &error);
  ASSERT_TRUE(parsed) << error;
  EXPECT_EQ(*parsed, original);

  // Booleans and integers stay apart in the text and after reading back.
  EXPECT_NE(xml.find("<true/>"), std::string::npos);
  EXPECT_NE(xml.find("<integer>-1</integer>"), std::string::npos);
  EXPECT_NE(xml.find("<integer>-9223372036854775808</integer>"), std::string::npos);
  const Dict& dict = *parsed->asDict();
  ASSERT_TRUE(dict.at("yes").asBool());
  EXPECT_FALSE(dict.at("yes").asInteger());
  ASSERT_TRUE(dict.at("one").asInteger());
  EXPECT_FALSE(dict.at("one").asBool());
  EXPECT_FALSE(dict.at("one").asReal());
  // A date stays a date, not a number of seconds.
  EXPECT_NE(xml.find("<date>2020-01-02T03:04:05Z</date>"), std::string::npos);
  ASSERT_TRUE(dict.at("date").asDate());
  EXPECT_FALSE(dict.at("date").asReal());
  EXPECT_EQ(dict.at("date").asDate()->secondsSince1970(), 1577934245.0);
}

TEST(Plist, ScalarRootsRoundTrip) {
  const Value roots[] = {Value(true),    Value(42),    Value(-7),
                         Value(2.25),    Value("x"),   Value(Data{1, 2, 3}),
                         Value(Array{}), Value(Dict{})};
  for (const Value& root : roots) {
    const auto parsed = plist::parse(plist::toXml(root));
    ASSERT_TRUE(parsed) << plist::toXml(root);
    EXPECT_EQ(*parsed, root) << plist::toXml(root);
  }
  EXPECT_EQ(plist::toXml(Value()), "");
}

// Values have no date type: a date reads as its seconds since 1970 (UTC).
TEST(Plist, DatesReadAsDatesOfTheirInstant) {
  const struct {
    const char* xml;
    double since1970;
  } cases[] = {
      {"<plist><date>2001-01-01T00:00:00Z</date></plist>", 978307200.0},
      {"<plist><date>2020-02-29T12:00:00Z</date></plist>", 1582977600.0},
  };
  for (const auto& c : cases) {
    const auto parsed = plist::parse(c.xml);
    ASSERT_TRUE(parsed && parsed->asDate()) << c.xml;
    EXPECT_EQ(parsed->asDate()->secondsSince1970(), c.since1970) << c.xml;
  }
}

TEST(Plist, ReadsBinaryPropertyLists) {
  // {"a": 1, "b": true, "c": "x", "d": [-2]} written by hand.
  const std::vector<Bytes> objects = {
      {0xD4, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4,  // keys
       0,    0, 0, 5, 0, 0, 0, 6, 0, 0, 0, 7, 0, 0, 0, 8},    // values
      {0x51, 'a'},
      {0x51, 'b'},
      {0x51, 'c'},
      {0x51, 'd'},
      {0x10, 0x01},
      {0x09},
      {0x51, 'x'},
      arrayOf({9}),
      {0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE},
  };
  std::string error;
  const auto parsed = plist::parse(binaryPlist(objects), &error);
  ASSERT_TRUE(parsed) << error;
  EXPECT_EQ(*parsed, Value(Dict{{"a", 1}, {"b", true}, {"c", "x"}, {"d", Array{Value(-2)}}}));

  // And what libplist's own binary writer makes of every type.
  const Value original = everyType();
  const std::string xml = plist::toXml(original);
  plist_t node = nullptr;
  plist_from_xml(xml.data(), std::uint32_t(xml.size()), &node);
  ASSERT_TRUE(node);
  char* bin = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(node, &bin, &length);
  plist_free(node);
  ASSERT_TRUE(bin);
  const std::string binary(bin, length);
  plist_to_bin_free(bin);
  const auto fromBinary = plist::parse(binary, &error);
  ASSERT_TRUE(fromBinary) << error;
  EXPECT_EQ(*fromBinary, original);
}

// libplist ends a one-byte text and every key at a NUL, so a list with
// one cannot be written back as it was: parse names the first place that
// holds one, through dictionaries and arrays, in binary and XML input, and
// placeOfNul names such places in a value.
TEST(Plist, ThePlaceOfANulIsNamed) {
  using namespace std::string_literals;
  const Bytes files = {0xD1, 0, 0, 0, 1, 0, 0, 0, 2};  // {"files": [3, 4]}
  const Bytes named = {0x55, 'f', 'i', 'l', 'e', 's'};
  auto folders = [&](const Bytes& second) {
    return binaryPlist({files,
                        named,
                        arrayOf({3, 4}),
                        {0xD1, 0, 0, 0, 5, 0, 0, 0, 6},  // {"name": "ok"}
                        {0xD1, 0, 0, 0, 5, 0, 0, 0, 7},  // {"name": second}
                        {0x54, 'n', 'a', 'm', 'e'},
                        {0x52, 'o', 'k'},
                        second});
  };
  struct Case {
    const char* label;
    std::string bytes;
    std::optional<std::string> place;
  };
  const std::vector<Case> table = {
      {"text in an array", folders({0x53, 'a', 0, 'b'}), "\"files\" > [1] > \"name\""},
      {"UTF-16 text", folders({0x62, 0, 'a', 0, 0}), "\"files\" > [1] > \"name\""},
      {"key", binaryPlist({{0xD1, 0, 0, 0, 1, 0, 0, 0, 2}, {0x53, 'k', 0, 'y'}, {0x51, 'v'}}),
       "\"k\\0y\""},
      {"no NUL", folders({0x52, 'n', 'o'}), std::nullopt},
      {"XML text", "<plist><dict><key>a</key><string>x\0y</string></dict></plist>"s, "\"a\""},
      {"XML key", "<plist><dict><key>a\0b</key><string>x</string></dict></plist>"s, "a key"},
  };
  for (const Case& c : table) {
    std::string error;
    std::optional<std::string> place = "unset";
    EXPECT_TRUE(plist::parse(c.bytes, &error, &place)) << c.label << ": " << error;
    EXPECT_EQ(place, c.place) << c.label;
  }
  EXPECT_EQ(
      plist::placeOfNul(Value(Dict{
          {"files", Array{Value(Dict{{"name", "a"}}), Value(Array{Value("x"), Value("b\0"s)})}}})),
      "\"files\" > [1] > [1]");
  EXPECT_EQ(plist::placeOfNul(everyType()), std::nullopt);
}

TEST(Plist, MalformedInputFailsWithAReason) {
  // Deep enough to exhaust the stack in libplist's recursive reader and free.
  const std::string deepXml =
      "<plist>" + repeat("<array>", 300000) + repeat("</array>", 300000) + "</plist>";
  std::string nested300 = "<plist>";
  for (int i = 0; i < 300; ++i) nested300 += "<array>";
  for (int i = 0; i < 300; ++i) nested300 += "</array>";
  nested300 += "</plist>";

  std::string hiddenCloses = "<plist>";  // 300 arrays deep, closes seemingly early
  for (int i = 0; i < 300; ++i) hiddenCloses += "<array><!-- </array> -->";
  for (int i = 0; i < 300; ++i) hiddenCloses += "</array>";
  hiddenCloses += "</plist>";

  std::vector<Bytes> doubling;  // each array holds the next twice: 2^40 values
  for (std::uint32_t i = 0; i < 40; ++i) doubling.push_back(arrayOf({i + 1, i + 1}));
  doubling.push_back({0x51, 'x'});
  std::string badSizes = binaryPlist({arrayOf({})});
  badSizes[badSizes.size() - 26] = 9;  // offset size beyond 8 bytes
  std::string badTable = binaryPlist({arrayOf({})});
  badTable[badTable.size() - 2] = 0x7F;  // table offset past the end
  const std::string valid = plist::toXml(Value(Dict{{"a", 1}}));

  const struct {
    const char* label;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"text", "hello"},
      {"truncated xml", valid.substr(0, valid.size() / 2)},
      {"dict without keys", "<plist><dict><string>a</string></dict></plist>"},
      {"unknown element", "<plist><frobnicate/></plist>"},
      {"mismatched tags", "<plist><array></dict></plist>"},
      {"unclosed array", "<plist><array><string>a</string></plist>"},
      {"entity from a doctype",
       "<!DOCTYPE x [<!ENTITY e 'z'>]><plist><string>&e;</string></plist>"},
      {"300000 nested arrays", deepXml},
      {"300 nested arrays", nested300},
      {"closes inside comments", hiddenCloses},
      {"quoted > in a doctype", "<!DOCTYPE plist PUBLIC \"a>b\"><plist><true/></plist>"},
      {"unterminated comment", "<plist><array><!-- </array></plist>"},
      {"binary header only", "bplist00"},
      {"binary truncated", binaryPlist({arrayOf({})}).substr(0, 30)},
      {"binary offset size", badSizes},
      {"binary table offset", badTable},
      {"binary missing object", binaryPlist({arrayOf({5})})},
      {"binary top out of range", binaryPlist({arrayOf({})}, 3)},
      {"binary contains itself", binaryPlist({arrayOf({1}), arrayOf({0})})},
      {"binary huge count", binaryPlist({{0xAF, 0x13, 0x40, 0, 0, 0, 0, 0, 0, 0}})},
      {"binary deep chain", binaryChain(200000)},
      {"binary doubling", binaryPlist(doubling)},
  };
  for (const auto& c : cases) {
    const auto started = std::chrono::steady_clock::now();
    std::string error;
    EXPECT_FALSE(plist::parse(c.bytes, &error)) << c.label;
    EXPECT_FALSE(error.empty()) << c.label;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << c.label;
  }

  // Comments, CDATA sections and processing instructions are read as XML.
  const auto marked = plist::parse(
      "<?xml version=\"1.0\"?>\n<!-- a comment -->\n<!DOCTYPE plist SYSTEM \"x.dtd\">"
      "<plist><array><?pi <array> ?><string><![CDATA[a</array>b]]></string></array ></plist>");
  EXPECT_EQ(marked, Value(Array{Value("a</array>b")}));

  // Shared objects within the limits are fine: each reference is a copy.
  std::vector<Bytes> shared;
  for (std::uint32_t i = 0; i < 8; ++i) shared.push_back(arrayOf({i + 1, i + 1}));
  shared.push_back({0x51, 'x'});
  EXPECT_TRUE(plist::parse(binaryPlist(shared)));
  EXPECT_TRUE(plist::parse(binaryChain(200)));
  std::string nested200 = "<plist>";
  for (int i = 0; i < 200; ++i) nested200 += "<array>";
  for (int i = 0; i < 200; ++i) nested200 += "</array>";
  EXPECT_TRUE(plist::parse(nested200 + "</plist>"));
}

// Random damage to valid XML and binary lists: parse answers, never crashes.
TEST(Plist, DamagedInputNeverCrashes) {
  const std::string xml = plist::toXml(everyType());
  const std::string binary = binaryPlist({{0xD2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4},
                                          {0x51, 'a'},
                                          {0x52, 'b', 'c'},
                                          arrayOf({4, 5, 6, 4}),
                                          {0x61, 0x00, 0xE9},
                                          {0x23, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0},
                                          {0x43, 1, 2, 3},
                                          {0x33, 0x41, 0xC0, 0, 0, 0, 0, 0, 0}});
  ASSERT_TRUE(plist::parse(binary));
  std::mt19937 random(20240517);
  for (const std::string* seed : {&xml, &binary}) {
    for (int round = 0; round < 1500; ++round) {
      std::string damaged = *seed;
      const int edits = 1 + int(random() % 8);
      for (int e = 0; e < edits && !damaged.empty(); ++e) {
        const std::size_t at = random() % damaged.size();
        switch (random() % 4) {
          case 0:
            damaged[at] = char(random());
            break;
          case 1:
            damaged.erase(at, 1 + random() % 16);
            break;
          case 2:
            damaged.insert(at, 1, char(random()));
            break;
          default:
            damaged.resize(at);
            break;
        }
      }
      std::string error;
      const auto parsed = plist::parse(damaged, &error);
      if (!parsed) {
        EXPECT_FALSE(error.empty());
      }
    }
  }
}

// Copies share their arrays and dictionaries until one is changed: a
// change through either copy, at any depth, never shows in the other, and
// equality looks at content, not at whether the two share.
TEST(Plist, ACopyNeverSeesTheOriginalsChanges) {
  const Value original(Dict{{"record", Dict{{"files", Array{Value(Dict{{"name", "A"}})}}}}});
  struct Case {
    const char* what;
    void (*change)(Value&);
  };
  const Case cases[] = {
      {"top", [](Value& v) { (*v.asDict())["added"] = 1; }},
      {"record", [](Value& v) { v.asDict()->at("record").asDict()->erase("files"); }},
      {"list",
       [](Value& v) {
         v.asDict()->at("record").asDict()->at("files").asArray()->push_back(Value("B"));
       }},
      {"entry",
       [](Value& v) {
         Value& files = v.asDict()->at("record").asDict()->at("files");
         (*files.asArray())[0].asDict()->at("name") = "Z";
       }},
  };
  for (const Case& c : cases) {
    Value kept = original;
    Value changed = original;
    EXPECT_EQ(kept, changed) << c.what;
    c.change(changed);
    EXPECT_EQ(kept, original) << c.what;
    EXPECT_NE(changed, original) << c.what;
    // The other way round: the copy changed first, the original after.
    Value first = original;
    Value second = first;
    c.change(first);
    EXPECT_EQ(second, original) << c.what;
  }
  // Equal content built apart is equal; a value of another type is not.
  EXPECT_EQ(Value(Array{Value(Dict{{"name", "A"}})}),
            original.asDict()->at("record").asDict()->at("files"));
  EXPECT_NE(Value(Array{}), Value(Dict{}));
  EXPECT_NE(Value(Dict{{"a", 1}}), Value(Dict{{"a", true}}));
}

// A domain as the panel keeps it, with a folder list of `folders` entries
// (six hundred make a list of about 100 KB, past the size kept as text).
Value domainWithFolders(std::size_t folders) {
  Array files;
  for (std::size_t i = 0; i < folders; ++i) {
    files.emplace_back(Dict{{"name", "Folder & <" + std::to_string(i) + ">"},
                            {"password", i % 3 == 0},
                            {"dir", false},
                            {"add", false}});
  }
  return Value(Dict{
      {"Job Handling", Dict{{"Model Name", "vk7300"}, {"address", "10.0.0.5"}, {"files", files}}},
      {"other", Array{Value(1), Value("small")}}});
}

const Value& filesOf(const Value& domain) {
  return domain.asDict()->at("Job Handling").asDict()->at("files");
}

// What libplist itself writes for the list it reads from `xml`.
std::string libplistXml(const std::string& xml) {
  plist_t root = nullptr;
  plist_from_xml(xml.data(), std::uint32_t(xml.size()), &root);
  if (!root) return "(refused)";
  char* out = nullptr;
  std::uint32_t length = 0;
  plist_to_xml(root, &out, &length);
  std::string text(out, length);
  plist_to_xml_free(out);
  plist_free(root);
  return text;
}

TEST(Plist, WrittenAsLibplistWritesIt) {
  const Value cases[] = {
      Value(Dict{
          {"esc", "a&b<c>d\"e'f ]]>"}, {"ctl", "tab\t nl\n cr\r \x01"}, {"utf8", "\u65e5\u672c"}}),
      Value(Dict{{"bad utf-8", "\xff\xfe"}, {"cut", std::string("before\0after", 12)}}),
      Value(Dict{{"k&<>", 1}, {"min", std::numeric_limits<std::int64_t>::min()}, {"neg", -5}}),
      Value(Dict{{"empty array", Array{}}, {"empty dict", Dict{}}, {"empty text", ""}}),
      Value(Dict{{"only nulls", Array{Value(), Value()}}, {"null", Value()}, {"t", true}}),
      Value(Array{Value(Array{Value(Array{Value(false)})}), Value(Dict{{"a", Dict{}}})}),
      Value("top"),
      Value(7),
      Value(true),
      domainWithFolders(3),
  };
  for (const Value& value : cases) {
    const std::string xml = plist::toXml(value);
    EXPECT_EQ(xml, libplistXml(xml)) << xml;
  }
}

TEST(Plist, ALargeArrayIsReadOnlyWhenLookedAt) {
  const Value original = domainWithFolders(600);
  const std::string xml = plist::toXml(original);
  ASSERT_GT(xml.size(), 64u << 10);

  // Everything else reads as before; the folder list stays text, also
  // through a copy, a comparison with its copy and a write.
  const auto parsed = plist::parse(xml);
  ASSERT_TRUE(parsed);
  EXPECT_TRUE(filesOf(*parsed).isUnreadArrayText());
  EXPECT_FALSE(original.asDict()->at("other").isUnreadArrayText());
  EXPECT_EQ(*parsed->asDict()->at("other").asArray(), *original.asDict()->at("other").asArray());
  const Value copy = *parsed;
  EXPECT_EQ(copy, *parsed);
  EXPECT_EQ(plist::toXml(*parsed), xml);
  EXPECT_FALSE(plist::placeOfNul(*parsed));
  EXPECT_TRUE(filesOf(copy).isUnreadArrayText());

  // Read, it equals what was written; so does a second reading of the same
  // text, and both copies see it read.
  EXPECT_EQ(*parsed, original);
  EXPECT_FALSE(filesOf(copy).isUnreadArrayText());
  const auto again = plist::parse(xml);
  ASSERT_TRUE(again);
  EXPECT_EQ(original, *again);
  EXPECT_NE(domainWithFolders(599), *plist::parse(xml));

  // A change goes to the changed copy alone.
  Value changed = *again;
  Value& files = changed.asDict()->at("Job Handling").asDict()->at("files");
  (*files.asArray())[0].asDict()->at("name") = "Renamed";
  EXPECT_EQ(*again, original);
  EXPECT_NE(changed, original);
  const auto reread = plist::parse(plist::toXml(changed));
  ASSERT_TRUE(reread);
  EXPECT_EQ(*reread, changed);
}

TEST(Plist, ALargeArrayLibplistWouldRefuseIsReadAsBefore) {
  const std::string xml = plist::toXml(domainWithFolders(600));
  const std::string item = "<string>Folder &amp; &lt;5&gt;</string>";
  const std::size_t at = xml.find(item);
  ASSERT_NE(at, std::string::npos);
  struct Case {
    const char* label;
    std::string replacement;
    bool refused;  // by libplist, so the whole list as before
  };
  const Case cases[] = {
      {"a foreign element", "<name>x</name>", true},
      {"an unknown entity", "<string>&bogus;</string>", true},
      {"two values for a key", "<string>a</string><string>b</string>", true},
      {"an element in a text", "<string><true/></string>", true},
      {"text in a dictionary", "text<string>x</string>", true},
      {"a character reference", "<string>&#65;</string>", false},
      {"a CDATA section", "<string><![CDATA[a<b]]></string>", false},
      {"a comment", "<!-- &bogus; <name> --><string>x</string>", false},
  };
  for (const Case& c : cases) {
    std::string bytes = xml;
    bytes.replace(at, item.size(), c.replacement);
    const auto parsed = plist::parse(bytes);
    EXPECT_EQ(!parsed, c.refused) << c.label;
    EXPECT_EQ(libplistXml(bytes) == "(refused)", c.refused) << c.label;
    if (parsed) {
      EXPECT_EQ(filesOf(*parsed).asArray()->size(), 600u) << c.label;
    }
  }
}

// How many arrays of `value` are still kept as their text (not read).
std::size_t unreadArrays(const Value& value) {
  if (value.isUnreadArrayText()) return 1;
  std::size_t count = 0;
  if (const Array* items = value.asArray()) {
    for (const Value& item : *items) count += unreadArrays(item);
  } else if (const Dict* entries = value.asDict()) {
    for (const auto& [key, entry] : *entries) count += unreadArrays(entry);
  }
  return count;
}

// The markup check and the choice of arrays kept as text, on the shapes
// where a shortcut for plain leaves (<key>text</key>) could go wrong: each
// list accepted or refused with the same reason, and each kept array kept
// from its "<array" to the end of its "</array>".
TEST(Plist, MarkupAroundLeavesIsCheckedAsWritten) {
  std::string filler;  // past the size kept as text
  for (int i = 0; i < 3700; ++i) filler += "<string>f</string>";
  const auto big = [&filler](const std::string& inside) {
    return "<array>" + filler + inside + "</array>";
  };
  const auto doc = [](const std::string& inside) { return "<plist>" + inside + "</plist>"; };
  const std::string nested257 = doc(repeat("<array>\n", 257) + "<string>x</string>");
  const std::string nested256 =
      doc(repeat("<array>\n", 256) + "<string>x</string>" + repeat("</array>\n", 256));
  const std::string nested258Arrays = doc(repeat("\t<array>", 258) + repeat("</array>", 258));
  const std::string mismatched = "property list has mismatched tags";
  const std::string badEnd = "property list has a bad end tag";
  const std::string unterminated = "property list has unterminated or ambiguous markup";
  const std::string notPlist = "not a property list";  // libplist's refusal
  struct Case {
    const char* label;
    std::string bytes;
    std::string error;  // "" when accepted
    std::vector<std::string> kept;
  };
  const Case cases[] = {
      {"a large array", doc(big("")), "", {big("")}},
      {"spaces before an end tag's >",
       doc(big("<string>x</string \n>")),
       "",
       {big("<string>x</string \n>")}},
      {"keys and empty leaves",
       doc(big("<dict><key>a</key ><string/><key>b</key><true/></dict>")),
       "",
       {big("<dict><key>a</key ><string/><key>b</key><true/></dict>")}},
      {"a leaf with an attribute",
       doc(big("<string id=\"a\">x</string>")),
       "",
       {big("<string id=\"a\">x</string>")}},
      {"a quoted > in a leaf's tag", doc(big("<string id=\"a>\">x</string>")), unterminated, {}},
      {"text with > and quotes",
       doc(big("<string>a > \"b' ]]></string>")),
       "",
       {big("<string>a > \"b' ]]></string>")}},
      {"a comment in a leaf",
       doc(big("<string>a<!-- </string> -->b</string>")),
       "",
       {big("<string>a<!-- </string> -->b</string>")}},
      {"CDATA in a leaf",
       doc(big("<string><![CDATA[</string>]]></string>")),
       "",
       {big("<string><![CDATA[</string>]]></string>")}},
      {"entities in a leaf",
       doc(big("<string>&amp;&lt;&gt;&quot;&apos;</string>")),
       "",
       {big("<string>&amp;&lt;&gt;&quot;&apos;</string>")}},
      {"a comment in an array", doc(big("<!-- x -->")), "", {big("<!-- x -->")}},
      {"other white space",
       doc(big("\r\n  <dict>\r\n <key>a</key> \t<false/>\r\n</dict>\r\n")),
       "",
       {big("\r\n  <dict>\r\n <key>a</key> \t<false/>\r\n</dict>\r\n")}},
      {"spaces before a container's >",
       doc(big("<dict><key>a</key><true/></dict >")),
       "",
       {big("<dict><key>a</key><true/></dict >")}},
      {"a container with an attribute",
       doc(big("<dict id='a'><key>a</key><true/></dict>")),
       "",
       {big("<dict id='a'><key>a</key><true/></dict>")}},
      {"the end tag of another container", doc(big("<dict></array>")), mismatched, {}},
      {"a value without a key", doc(big("<dict><array/></dict>")), notPlist, {}},
      {"an end tag cut short near the end",
       "<plist><array>" + filler + "<string>x</string",
       badEnd,
       {}},
      {"arrays past the deepest nesting",
       nested258Arrays,
       "property list is nested too deeply",
       {}},
      {"a leaf in the plist element", doc("<string>x</string >"), "", {}},
      {"a leaf end tag of another leaf", doc(big("<string>x</key>")), mismatched, {}},
      {"a leaf end tag with a longer name", doc(big("<key>x</keys>")), mismatched, {}},
      {"a leaf end tag with a shorter name", doc(big("<string>x</strin>")), mismatched, {}},
      {"an end tag without a name", doc("<string>x</>"), mismatched, {}},
      {"an end tag with nothing open", "</plist>", mismatched, {}},
      {"a leaf end tag closing itself", doc(big("<string>x</string/>")), badEnd, {}},
      {"a leaf end tag cut short", "<plist><string>x</string", badEnd, {}},
      {"a leaf never closed", "<plist><string>x", "property list has unclosed elements", {}},
      {"a leaf start tag cut short", "<plist><string", unterminated, {}},
      {"a start tag without a name", doc("< string>x</string>"), "property list has a bad tag", {}},
      {"a leaf past the deepest nesting", nested257, "property list is nested too deeply", {}},
      {"a leaf at the deepest nesting", nested256, "", {}},
      {"an element in a leaf", doc(big("<string>a<true/></string>")), notPlist, {}},
      {"unknown names like leaves' ones",
       doc(big("<strin>x</strin><keys>x</keys><kez/><datum>x</datum><arrays/>")),
       notPlist,
       {}},
      {"CDATA in an array", doc(big("<![CDATA[x]]>")), notPlist, {}},
      {"text in an array", doc(big("x")), notPlist, {}},
      {"a character reference", doc(big("<string>&#65;</string>")), "", {}},
      {"a foreign entity in a comment", doc(big("<!-- &x; -->")), "", {}},
      {"a foreign entity before the array",
       doc("<array><!-- &x; -->" + big("") + "</array>"),
       "",
       {big("")}},
      {"a foreign entity after an inner array",
       doc("<array>" + big("") + "<!-- &x; --></array>"),
       "",
       {big("")}},
      {"a foreign entity in an inner array",
       doc("<array>" + big("<!-- &x; -->") + "<string>z</string></array>"),
       "",
       {}},
      {"a foreign entity in an earlier array",
       doc("<dict><key>a</key>" + big("<!--&x;-->") + "<key>b</key>" + big("") + "</dict>"),
       "",
       {big("")}},
      {"nested large arrays",
       doc("<array>" + big("") + "</array>"),
       "",
       {"<array>" + big("") + "</array>"}},
      {"an odd element deep inside",
       doc("<array><array>" + big("<a/>") + "</array></array>"),
       notPlist,
       {}},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto parsed = plist::parse(c.bytes, &error);
    if (!c.error.empty()) {
      EXPECT_FALSE(parsed) << c.label;
      EXPECT_EQ(error, c.error) << c.label;
      continue;
    }
    if (!parsed) {
      ADD_FAILURE() << c.label << ": " << error;
      continue;
    }
    EXPECT_EQ(unreadArrays(*parsed), c.kept.size()) << c.label;
    const std::string written = plist::toXml(*parsed);
    for (const std::string& kept : c.kept) {
      const std::size_t at = written.find(kept + "\n");
      ASSERT_NE(at, std::string::npos) << c.label;
      EXPECT_TRUE(written[at - 1] == '\t' || written[at - 1] == '\n') << c.label;
    }
    // What is kept reads as libplist reads the whole list.
    EXPECT_EQ(*parsed, plist::parse(libplistXml(c.bytes))) << c.label;
  }
}

TEST(Plist, ReadFileReportsMissingFiles) {
  std::string error;
  EXPECT_FALSE(plist::readFile("/nonexistent/jobwick/none.plist", &error));
  EXPECT_NE(error.find("none.plist"), std::string::npos);
  EXPECT_FALSE(plist::readFile("/", &error));  // a folder is no property list
}

}  // namespace
