// The XML reader: tree shape, character data, references, refused and malformed documents.
#include "metadata/xmp/xml.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvel::metadata;
using namespace orvel::metadata::xmp;

namespace {

std::vector<std::string> namesOf(const std::vector<XmlElement>& elements) {
  std::vector<std::string> names;
  for (const auto& element : elements) names.emplace_back(element.name());
  return names;
}

std::string textOf(std::string_view document) {
  return std::string(XmlDocument::parse(document).root().innerText());
}

std::string nested(int depth) {
  std::string out;
  for (int i = 0; i < depth; ++i) out += "<e>";
  out += "core";
  for (int i = 0; i < depth; ++i) out += "</e>";
  return out;
}

}  // namespace

TEST(XmlTree, ElementsAttributesAndText) {
  const auto document = XmlDocument::parse(
      "<?xml version='1.0'?>\n<!-- lead -->\n"
      "<a:root x='1' y = \"two\" z='say \"hi\"' w=\"it's\">head<b:one>first</b:one>mid"
      "<two><three/>deep</two>tail</a:root>\n<!-- trail --><?pi after?>\n");
  const XmlElement root = document.root();
  EXPECT_EQ(root.name(), "a:root");
  ASSERT_EQ(root.attributes().size(), 4u);
  EXPECT_EQ(root.attributes()[0].name, "x");
  EXPECT_EQ(root.attributes()[0].value, "1");
  EXPECT_EQ(root.attributes()[1].value, "two");
  EXPECT_EQ(root.attributes()[2].value, "say \"hi\"");
  EXPECT_EQ(root.attributes()[3].value, "it's");
  EXPECT_EQ(namesOf(root.children()), (std::vector<std::string>{"b:one", "two"}));
  EXPECT_EQ(root.innerText(), "headfirstmiddeeptail");
  const auto two = root.children()[1];
  EXPECT_EQ(two.innerText(), "deep");
  EXPECT_EQ(namesOf(two.children()), std::vector<std::string>{"three"});
  EXPECT_TRUE(two.children()[0].innerText().empty());
  EXPECT_TRUE(two.children()[0].children().empty());
  EXPECT_EQ(document.elementCount(), 4u);
}

TEST(XmlTree, DescendantSearchesKeepDocumentOrderAndStayInTheSubtree) {
  const auto document =
      XmlDocument::parse("<li><x><li>1</li><y><li>2</li></y></x><li>3</li><z><li>4</li></z></li>");
  // The document search includes the root; an element's search excludes the element itself.
  EXPECT_EQ(document.elementsNamed("li").size(), 5u);
  const XmlElement x = document.root().children()[0];
  const auto inX = x.descendants("li");
  ASSERT_EQ(inX.size(), 2u);
  EXPECT_EQ(inX[0].innerText(), "1");
  EXPECT_EQ(inX[1].innerText(), "2");
  const auto all = document.root().descendants("li");
  std::vector<std::string> texts;
  for (const auto& li : all) texts.emplace_back(li.innerText());
  EXPECT_EQ(texts, (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_TRUE(document.elementsNamed("absent").empty());
  EXPECT_TRUE(x.descendants("x").empty());
}

TEST(XmlText, PredefinedEntitiesAndCharacterReferences) {
  EXPECT_EQ(textOf("<a>&lt;&gt;&amp;&apos;&quot;</a>"), "<>&'\"");
  EXPECT_EQ(textOf("<a>&#65;&#x42;&#0000067;</a>"), "ABC");
}

TEST(XmlText, CharacterReferencesBecomeUtf8) {
  EXPECT_EQ(textOf("<a>&#233;&#x20AC;&#x1F600;&#9;</a>"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\t");
  const auto document = XmlDocument::parse("<a v='&#xE9;&amp;&lt;'/>");
  EXPECT_EQ(document.root().attributes()[0].value, "\xC3\xA9&<");
}

TEST(XmlText, CommentsInstructionsAndCdata) {
  EXPECT_EQ(textOf("<a>x<!-- <b>not</b> --><?pi <c/> ?>y<![CDATA[ &amp; <d> ]]>z</a>"),
            "xy &amp; <d> z");
}

TEST(XmlText, LineEndsAndAttributeWhiteSpaceAreNormalised) {
  EXPECT_EQ(textOf("<a>1\r\n2\r3\n</a>"), "1\n2\n3\n");
  const auto document = XmlDocument::parse("<a v='x\ty\r\nz&#10;'/>");
  EXPECT_EQ(document.root().attributes()[0].value, "x y z\n");
}

TEST(XmlText, ByteOrderMarkAndTrailingPaddingAreAccepted) {
  std::string padded = "\xEF\xBB\xBF<a>t</a>\n  ";
  padded.append(5, '\0');
  padded += "\n<?xpacket end='w'?>";
  EXPECT_EQ(textOf(padded), "t");
}

TEST(XmlRefused, DoctypeIsRefusedWhereverItAppears) {
  EXPECT_THROW(XmlDocument::parse("<!DOCTYPE a><a/>"), XmlError);
  EXPECT_THROW(XmlDocument::parse("<!DOCTYPE a [<!ENTITY e 'boom'>]><a>&e;</a>"), XmlError);
  EXPECT_THROW(XmlDocument::parse("<a><!DOCTYPE a></a>"), XmlError);
  EXPECT_THROW(XmlDocument::parse("<a/><!DOCTYPE a>"), XmlError);
  // Entities other than the five predefined ones never expand.
  EXPECT_THROW(XmlDocument::parse("<a>&e;</a>"), XmlError);
}

TEST(XmlRefused, NestingIsCappedAt256) {
  EXPECT_EQ(textOf(nested(kXmlMaxDepth)), "core");
  EXPECT_THROW(XmlDocument::parse(nested(kXmlMaxDepth + 1)), XmlError);
  // Siblings do not add depth.
  std::string wide = "<r>";
  for (int i = 0; i < 1000; ++i) wide += "<e/>";
  wide += "</r>";
  EXPECT_EQ(XmlDocument::parse(wide).root().children().size(), 1000u);
}

TEST(XmlRefused, MalformedDocumentsThrow) {
  const char* malformed[] = {
      "",
      "   ",
      "text",
      "<a>",
      "<a></b>",
      "<a><b></a></b>",
      "<a/><b/>",
      "<a/>text",
      "text<a/>",
      "<a x=1/>",
      "<a x='1' x='2'/>",
      "<a x='1'y='2'/>",
      "<a x='<'/>",
      "<a x='1/>",
      "<a x/>",
      "<a>&amp</a>",
      "<a>&#;</a>",
      "<a>&#0;</a>",
      "<a>&#xD800;</a>",
      "<a>&#x110000;</a>",
      "<a>&#99999999999999999999;</a>",
      "<a>&#x1g;</a>",
      "<a>&#X43;</a>",
      "<a><!-- open</a>",
      "<a><?pi open</a>",
      "<a><![CDATA[ open</a>",
      "<a><!ELEMENT a ANY></a>",
      "<1a/>",
      "< a/>",
      "<a></ a>",
      "<a",
      "<? ?><a/>",
  };
  for (const char* text : malformed) {
    EXPECT_THROW(XmlDocument::parse(text), XmlError) << text;
  }
}
