// SPDX-License-Identifier: Apache-2.0
// XML documents: reading files, the node view (no blank text nodes, names
// with prefixes, element text), and input that must not reach outside the
// document.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/xml.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class XMLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "jobwick-xml-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  fs::path write(const std::string& name, const std::string& text) {
    const fs::path path = folder / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  fs::path folder;
};

TEST_F(XMLTest, ReadsAFileAndSkipsBlankTextBetweenElements) {
  const auto path = write("answer.xml",
                          "<?xml version=\"1.0\"?>\n<e:Envelope xmlns:e=\"urn:e\">\n  <e:Body>\n"
                          "    <r>\n      <result-code>ok</result-code>\n      <files/>\n"
                          "    </r>\n  </e:Body>\n</e:Envelope>\n");
  std::string error;
  auto doc = XMLDocument::initWithContentsOfFile(path.string(), &error);
  ASSERT_NE(doc, nullptr) << error;
  XMLNode root = doc->rootElement();
  EXPECT_EQ(root.name(), "e:Envelope");
  ASSERT_EQ(root.childCount(), 1u);
  XMLNode body = root.childAtIndex(0);
  EXPECT_EQ(body.name(), "e:Body");
  XMLNode answer = body.childAtIndex(body.childCount() - 1);
  EXPECT_EQ(answer.name(), "r");
  ASSERT_EQ(answer.childCount(), 2u);
  EXPECT_EQ(answer.childAtIndex(0).name(), "result-code");
  EXPECT_EQ(answer.childAtIndex(0).objectValue(), "ok");
  EXPECT_EQ(answer.childAtIndex(1).childCount(), 0u);
  EXPECT_FALSE(answer.childAtIndex(2));
  EXPECT_EQ(answer.childAtIndex(2).childCount(), 0u);
  EXPECT_EQ(answer.childAtIndex(2).name(), "");
}

TEST_F(XMLTest, ChildrenSiblingsAndLastChildNumberTheChildrenAsChildAtIndexDoes) {
  // Blank text at both ends and between: never a child.
  const std::vector<std::string> documents = {"<a> x <b/>\n<!--n--><?p q?>  <c>1</c>\n</a>",
                                              "<a>\n  </a>", "<a><b/></a>", "<a/>",
                                              "<a>\n<b/>tail</a>"};
  for (const std::string& text : documents) {
    auto doc = XMLDocument::initWithData(text);
    ASSERT_NE(doc, nullptr) << text;
    const XMLNode a = doc->rootElement();
    const std::vector<XMLNode> children = a.children();
    ASSERT_EQ(children.size(), a.childCount()) << text;
    for (std::size_t i = 0; i < children.size(); ++i) {
      EXPECT_EQ(children[i].name(), a.childAtIndex(i).name()) << text << " " << i;
      EXPECT_EQ(children[i].objectValue(), a.childAtIndex(i).objectValue()) << text << " " << i;
    }
    // The walk from the first child through its siblings meets the same
    // nodes, and ends after the last.
    std::size_t walked = 0;
    for (XMLNode c = a.firstChild(); c; c = c.nextSibling(), ++walked) {
      ASSERT_LT(walked, children.size()) << text;
      EXPECT_EQ(c.name(), children[walked].name()) << text << " " << walked;
      EXPECT_EQ(c.objectValue(), children[walked].objectValue()) << text << " " << walked;
    }
    EXPECT_EQ(walked, children.size()) << text;
    if (children.empty()) {
      EXPECT_FALSE(a.lastChild()) << text;
    } else {
      EXPECT_EQ(a.lastChild().objectValue(), children.back().objectValue()) << text;
      EXPECT_EQ(a.lastChild().name(), children.back().name()) << text;
    }
  }
  EXPECT_TRUE(XMLNode().children().empty());
  EXPECT_FALSE(XMLNode().lastChild());
  EXPECT_FALSE(XMLNode().firstChild());
  EXPECT_FALSE(XMLNode().nextSibling());
}

TEST_F(XMLTest, TextNodesCountWhenTheyHoldMoreThanBlanks) {
  auto doc = XMLDocument::initWithData("<a> x <b>1<![CDATA[<2>]]><c>3</c></b>\n<!--n--></a>");
  ASSERT_NE(doc, nullptr);
  XMLNode a = doc->rootElement();
  ASSERT_EQ(a.childCount(), 3u);  // " x ", <b>, the comment
  EXPECT_FALSE(a.childAtIndex(0).isElement());
  EXPECT_EQ(a.childAtIndex(0).objectValue(), " x ");
  EXPECT_EQ(a.childAtIndex(1).objectValue(), "1<2>3");
  EXPECT_EQ(a.childAtIndex(2).name(), "");
  // Blank text inside an element is still part of its value.
  auto blank = XMLDocument::initWithData("<name>  </name>");
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(blank->rootElement().childCount(), 0u);
  EXPECT_EQ(blank->rootElement().objectValue(), "  ");
}

TEST_F(XMLTest, UnreadableOrMalformedInputGivesNoDocument) {
  std::string error;
  EXPECT_EQ(XMLDocument::initWithContentsOfFile((folder / "missing.xml").string(), &error),
            nullptr);
  EXPECT_FALSE(error.empty());
  for (const char* text : {"", "not xml", "<a><b></a>", "<a/><b/>", "<?xml version=\"1.0\"?>"}) {
    error.clear();
    EXPECT_EQ(XMLDocument::initWithData(text, &error), nullptr) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_EQ(XMLDocument::initWithContentsOfFile(write("bad.xml", text).string()), nullptr)
        << text;
  }
  EXPECT_EQ(XMLDocument::initWithContentsOfFile(folder.string()), nullptr);
}

TEST_F(XMLTest, ExternalEntitiesAndDTDsAreNeverRead) {
  const std::string secret = "TOP-SECRET-4711";
  const auto secretFile = write("secret.txt", secret);
  const auto dtd = write("evil.dtd", "<!ENTITY leak \"" + secret + "\">");
  const std::string documents[] = {
      // A general external entity naming a local file.
      "<!DOCTYPE r [<!ENTITY xxe SYSTEM \"file://" + secretFile.string() +
          "\">]><r><name>&xxe;</name></r>",
      // The same by relative path, and through a parameter entity.
      "<!DOCTYPE r [<!ENTITY xxe SYSTEM \"secret.txt\">]><r><name>&xxe;</name></r>",
      "<!DOCTYPE r [<!ENTITY % p SYSTEM \"file://" + dtd.string() +
          "\"> %p;]>"
          "<r><name>&leak;</name></r>",
      // An external DTD subset.
      "<!DOCTYPE r SYSTEM \"file://" + dtd.string() + "\"><r><name>&leak;</name></r>",
  };
  for (const auto& text : documents) {
    for (bool fromFile : {false, true}) {
      auto doc = fromFile ? XMLDocument::initWithContentsOfFile(write("x.xml", text).string())
                          : XMLDocument::initWithData(text);
      if (!doc) continue;  // refusing the document is fine too
      const std::string value = doc->rootElement().objectValue();
      EXPECT_EQ(value.find(secret), std::string::npos) << text;
    }
  }
}

TEST_F(XMLTest, InternalEntitiesAreNotSubstitutedNorAmplified) {
  auto doc = XMLDocument::initWithData(
      "<!DOCTYPE r [<!ENTITY who \"Sales\">]><r><name>&who;-x</name></r>");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->rootElement().childAtIndex(0).objectValue(), "-x");

  std::string laughs = "<!DOCTYPE r [<!ENTITY l0 \"lol\">";
  for (int i = 1; i <= 9; ++i) {
    laughs += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) laughs += "&l" + std::to_string(i - 1) + ";";
    laughs += "\">";
  }
  laughs += "]><r><name>&l9;</name></r>";
  auto bomb = XMLDocument::initWithData(laughs);
  if (bomb) {
    EXPECT_LT(bomb->rootElement().objectValue().size(), 1000u);
  }
}

// The nodes a tree walk counts, one line each: depth, element or not, name
// of an element or content of another node.
void describeTree(const XMLNode& node, int depth, std::vector<std::string>& out) {
  out.push_back(std::to_string(depth) +
                (node.isElement() ? " <" + node.name() + ">" : " " + node.objectValue()));
  for (const XMLNode& child : node.children()) describeTree(child, depth + 1, out);
}

TEST_F(XMLTest, AStreamVisitsTheNodesTheTreeCountsInOrder) {
  const std::string documents[] = {
      "<r/>",
      "<?xml version=\"1.0\"?>\n<!-- before -->\n<r>\n  <a>x &amp; y</a>\n  <b/>\n</r>\n",
      "<r><a> <![CDATA[c<d]]> </a><!-- note --><?pi data?>text<n:e xmlns:n=\"u\">1</n:e></r>",
      "<!DOCTYPE r [<!ENTITY who \"Sales\">]><r><name>&who;-x</name></r>",
      "<s:Envelope xmlns:s=\"e\"><s:Body><r><result-code>ok</result-code><files>"
      "<file><name>A</name></file></files></r></s:Body></s:Envelope>",
  };
  for (const std::string& text : documents) {
    const fs::path path = write("doc.xml", text);
    auto doc = XMLDocument::initWithContentsOfFile(path.string());
    ASSERT_NE(doc, nullptr) << text;
    std::vector<std::string> tree;
    describeTree(doc->rootElement(), 0, tree);
    std::vector<std::string> stream;
    ASSERT_TRUE(readXMLFileAsStream(path.string(), [&](const XMLStreamNode& node) {
      if (node.blank) return;
      stream.push_back(std::to_string(node.depth) + (node.isElement
                                                         ? " <" + std::string(node.name) + ">"
                                                         : " " + std::string(node.content)));
    })) << text;
    // Nodes outside the document element (the comment before it) are the
    // stream's alone; a walk from the document element never sees them.
    std::erase_if(stream, [](const std::string& line) { return line.rfind("0 ", 0) == 0; });
    tree.erase(tree.begin());
    EXPECT_EQ(stream, tree) << text;
  }
  std::string error;
  for (const char* text : {"", "not xml", "<a><b></a>", "<a/><b/>"}) {
    error.clear();
    EXPECT_FALSE(readXMLFileAsStream(
        write("bad.xml", text).string(), [](const XMLStreamNode&) {}, &error))
        << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  EXPECT_FALSE(readXMLFileAsStream(folder.string(), [](const XMLStreamNode&) {}));
}

TEST_F(XMLTest, DeepNestingIsRefused) {
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<a>";
  for (int i = 0; i < 5000; ++i) deep += "</a>";
  EXPECT_EQ(XMLDocument::initWithData(deep), nullptr);
}

}  // namespace
}  // namespace platform
