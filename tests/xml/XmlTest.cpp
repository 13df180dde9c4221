#include <gtest/gtest.h>

#include "xml/Document.h"

namespace {

using Tarvik::Xml::Document;
using Tarvik::Xml::Node;

const Tarvik::Xml::NamespaceBindings soapPrefixes = {
    {"mail", "urn:tarvikMail"}, {"l", "urn:tarvik"}, {"soap", "http://www.w3.org/2003/05/soap-envelope"}};

TEST(XmlDocument, PrefixesMatchDefaultNamespacesOfAnAnswer) {
    auto doc = Document::Parse(
        "<soap:Envelope xmlns:soap='http://www.w3.org/2003/05/soap-envelope'><soap:Body>"
        "<AddMsgResponse xmlns='urn:tarvikMail'><m id='257'/></AddMsgResponse>"
        "</soap:Body></soap:Envelope>");
    ASSERT_TRUE(doc);
    doc->SetSelectionNamespaces(soapPrefixes);
    Node m = doc->SelectSingleNode("/soap:Envelope/soap:Body/mail:AddMsgResponse/mail:m");
    ASSERT_TRUE(m);
    EXPECT_EQ(m.Attribute("id"), "257");
    EXPECT_EQ(m.NamespaceUri(), "urn:tarvikMail");
    EXPECT_EQ(doc->SelectSingleNode("//mail:m/@id").Text(), "257");
    EXPECT_FALSE(doc->SelectSingleNode("//m")) << "an unprefixed name matches no namespace";
    EXPECT_TRUE(doc->SelectNodes("//mail:[broken").empty());
}

TEST(XmlDocument, BuildsElementsWithAttributesInOrderAndEscapedVerbatimText) {
    auto doc = Document::Parse("<Envelope><Body/></Envelope>");
    ASSERT_TRUE(doc);
    Node request = doc->CreateElement("AddMsgRequest");
    request.SetAttribute("xmlns", "urn:tarvikMail");
    Node m = request.AppendElement("m");
    m.SetAttribute("aid", "a&b");
    m.SetAttribute("l", "2");
    m.SetAttribute("aid", "x\"y");  // an existing attribute keeps its place
    Node text = request.AppendElement("t");
    text.SetText("1 < 2 &amp; é");
    doc->SelectSingleNode("//Body").AppendChild(request);
    EXPECT_EQ(doc->ToString(),
              "<Envelope><Body><AddMsgRequest xmlns=\"urn:tarvikMail\"><m aid=\"x&quot;y\" l=\"2\"/>"
              "<t>1 &lt; 2 &amp;amp; é</t></AddMsgRequest></Body></Envelope>");
    EXPECT_EQ(text.Text(), "1 < 2 &amp; é");
}

TEST(XmlDocument, NamespacedChildUnderTheSameDefaultNamespaceHasNoRedundantDeclaration) {
    auto doc = Document::Parse("<e><context xmlns=\"urn:tarvik\"><nonotify /></context></e>");
    ASSERT_TRUE(doc);
    doc->SetSelectionNamespaces(soapPrefixes);
    Node context = doc->SelectSingleNode("/e/l:context");
    ASSERT_TRUE(context);
    Node session = doc->CreateElement("sessionId", "urn:tarvik");
    session.SetText("42");
    context.AppendChild(session);
    Node other = doc->CreateElement("x", "urn:other");
    context.AppendChild(other);
    EXPECT_EQ(doc->ToString(),
              "<e><context xmlns=\"urn:tarvik\"><nonotify/><sessionId>42</sessionId>"
              "<x xmlns=\"urn:other\"/></context></e>");
    EXPECT_EQ(doc->SelectSingleNode("/e/l:context/l:sessionId").Text(), "42");
}

TEST(XmlDocument, ImportedNodesAreCopiesOwnedByTheTargetDocument) {
    auto source = Document::Parse("<a><b x='1'><c>t</c></b></a>");
    Document target;
    target.SetRoot(target.CreateElement("batch"));
    {
        Node copy = target.ImportNode(source->SelectSingleNode("/a/b"));
        target.Root().AppendChild(copy);
    }
    source.reset();
    EXPECT_EQ(target.ToString(), "<batch><b x=\"1\"><c>t</c></b></batch>");
}

TEST(XmlDocument, MalformedTextIsRefusedWithAReason) {
    std::string error;
    EXPECT_FALSE(Document::Parse("<a><b></a>", &error));
    EXPECT_NE(error.find("line 1"), std::string::npos) << error;
    EXPECT_FALSE(Document::Parse("", &error));
    EXPECT_FALSE(Document::Parse("<html><body>500 Internal Server Error", &error));
}

TEST(XmlDocument, ExternalEntitiesAreNeverLoaded) {
    auto doc = Document::Parse(
        "<!DOCTYPE a [<!ENTITY secret SYSTEM \"file:///etc/passwd\">]><a>&secret;</a>");
    if (doc) {
        EXPECT_EQ(doc->Root().Text().find("root:"), std::string::npos);
    }
}

TEST(XmlDocument, BlankTextIsDroppedUnlessAskedToKeep) {
    auto dropped = Document::Parse("<a>\n  <b/>\n</a>");
    EXPECT_EQ(dropped->ToString(), "<a><b/></a>");
    auto kept = Document::Parse("<a>\n  <b/>\n</a>", nullptr, {.keepBlankText = true});
    EXPECT_EQ(kept->ToString(), "<a>\n  <b/>\n</a>");
}

}  // namespace
