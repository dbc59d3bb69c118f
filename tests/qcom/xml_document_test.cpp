#include "qcom/xml_document.h"

#include <gtest/gtest.h>

#include <string>

namespace fendrel::qcom {
namespace {

TEST(XmlDocument, ReadsElementsAttributesAndReferencesInDocumentOrder) {
    const std::string text =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!-- written by the build -->\n"
        "<data>\n"
        "  <program label='boot' filename=\"a&amp;b &lt;1&gt; &quot;q&quot; &apos;\" "
        "num=\"33.\"/>\n"
        "  text &amp; more <![CDATA[ <not> an element & ]]> <?skip this?>\n"
        "  <patch value=\"&#65;&#x42;&#x20AC;\tline\r\nend\">\n"
        "    <inner />\n"
        "  </patch >\n"
        "</data>\n"
        "<!-- trailing -->\n";
    XmlError error;
    const auto root = ReadXmlDocument(text, error);
    ASSERT_TRUE(root) << error.line << ": " << error.what;
    EXPECT_EQ(root->name, "data");
    ASSERT_EQ(root->children.size(), 2u);
    const XmlElement& program = root->children[0];
    EXPECT_EQ(program.name, "program");
    EXPECT_EQ(program.attributes,
              (XmlAttributes{{"label", "boot"}, {"filename", "a&b <1> \"q\" '"}, {"num", "33."}}));
    EXPECT_EQ(program.Value("label"), "boot");
    EXPECT_EQ(program.Value("missing"), "");
    EXPECT_EQ(program.Attribute("missing"), nullptr);
    const XmlElement& patch = root->children[1];
    EXPECT_EQ(patch.Value("value"), "AB\xE2\x82\xAC line end");
    ASSERT_EQ(patch.children.size(), 1u);
    EXPECT_EQ(patch.children[0].name, "inner");
}

TEST(XmlDocument, RefusesWhatIsNotAWellFormedDocumentAndSaysOnWhichLine) {
    const struct {
        std::string text;
        std::size_t line;
        std::string what;
    } cases[] = {
        {"", 1, "holds no XML element"},
        {"<?xml version=\"1.0\"?>\n<!-- only -->\n", 3, "holds no XML element"},
        {"junk <data/>", 1, "text before the document element"},
        {"<data/>\n<data/>", 2, "more than one document element"},
        {"<data>\n<a>\n</b>\n</data>", 3, "<a> is closed by </b>"},
        {"<data>\n<a>", 2, "<a> is never closed"},
        {"<data a=\"1\" a=\"2\"/>", 1, "the attribute a twice"},
        {"<data a=1/>", 1, "without quotes"},
        {"<data a=\"1/>", 1, "without its closing quote"},
        {"<data a=\"<\"/>", 1, "a '<' inside an attribute value"},
        {"<data a=\"1\"b=\"2\"/>", 1, "something that is no attribute"},
        {"<data a/>", 1, "the attribute a of <data> has no value"},
        {"<data a=\"&bogus;\"/>", 1, "an unknown entity: &bogus;"},
        {"<data a=\"&#0;\"/>", 1, "no character: &#0;"},
        {"<data a=\"&#xD800;\"/>", 1, "no character"},
        {"<data a=\"& b\"/>", 1, "an '&' that starts no reference"},
        {"<data a=\"\x01\"/>", 1, "a control character"},
        {"<data>\n\n\x02</data>", 3, "a control character"},
        {"<!DOCTYPE data [<!ENTITY a \"aaaa\">]><data/>", 1, "a document type declaration"},
        {"<data><!-- open", 1, "a comment without its end"},
        {"<data>\n<![CDATA[ open", 2, "a CDATA section without its end"},
        {"<data><1/></data>", 1, "a '<' that starts no element"},
        {"<data", 1, "the tag <data without its end"},
    };
    for (const auto& c : cases) {
        XmlError error;
        EXPECT_FALSE(ReadXmlDocument(c.text, error)) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_NE(error.what.find(c.what), std::string::npos) << c.text << " -> " << error.what;
    }
}

TEST(XmlDocument, NestingIsBoundedAndADeepFileIsRefusedWithoutExhaustingTheStack) {
    const auto nested = [](std::size_t depth) {
        std::string text;
        for (std::size_t i = 0; i < depth; ++i)
            text += "<e>";
        for (std::size_t i = 0; i < depth; ++i)
            text += "</e>";
        return text;
    };
    XmlError error;
    EXPECT_TRUE(ReadXmlDocument(nested(kMaxXmlDepth), error)) << error.what;
    EXPECT_FALSE(ReadXmlDocument(nested(kMaxXmlDepth + 1), error));
    EXPECT_NE(error.what.find("nested deeper than 64"), std::string::npos) << error.what;
    EXPECT_FALSE(ReadXmlDocument(nested(1'000'000), error));
}

}  // namespace
}  // namespace fendrel::qcom
