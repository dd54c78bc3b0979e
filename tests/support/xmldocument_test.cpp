#include "support/xmldocument.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using galvorn::XmlDocument;

namespace {

const char* const kSearchAnswer = R"(<?xml version="1.0" encoding="utf-8"?>
<multicastSearchResult>
  <productInfo>
    <productSeries>VRN_IPC</productSeries>
    <devName>Gate &amp; Hall</devName>
    <softwareVer>5.1.0</softwareVer>
    <build>1208</build>
    <unknown><devName>nested</devName></unknown>
  </productInfo>
  <tcpIp>
    <ipAddr>
      <item>
        <ip>192.0.2.10</ip>
        <mask>255.255.255.0</mask>
        <route>192.0.2.1</route>
        <dhcpSwitch>true</dhcpSwitch>
      </item>
      <item>
        <ip>198.51.100.10</ip>
        <mask>255.255.0.0</mask>
      </item>
    </ipAddr>
    <dns1>192.0.2.53</dns1>
    <dns2>192.0.2.54</dns2>
  </tcpIp>
  <port>
    <dataPort>6036</dataPort>
    <httpPort>80</httpPort>
  </port>
</multicastSearchResult>
)";

// The children of the main element, in order, as "name" or "name=data". Leaves the
// child position reset.
std::vector<std::string> childList(XmlDocument& xml)
{
    std::vector<std::string> names;
    xml.resetChildPos();
    while (xml.findChildElem()) {
        const std::string data = xml.getChildData();
        names.push_back(data.empty() ? xml.getChildTagName() : xml.getChildTagName() + "=" + data);
    }
    xml.resetChildPos();
    return names;
}

} // namespace

// --- Navigation, walked the way the search-answer parser walks -------------------------

TEST(XmlDocumentNavigation, WalksASearchAnswer)
{
    XmlDocument xml;
    ASSERT_TRUE(xml.load(kSearchAnswer));
    ASSERT_TRUE(xml.findElem("multicastSearchResult"));
    ASSERT_TRUE(xml.intoElem());

    // Identity check: a child of productInfo, read without stepping in.
    ASSERT_TRUE(xml.findElem("productInfo"));
    ASSERT_TRUE(xml.findChildElem("productSeries"));
    EXPECT_EQ(xml.getChildData(), "VRN_IPC");

    xml.resetMainPos();
    ASSERT_TRUE(xml.findElem("tcpIp"));
    ASSERT_TRUE(xml.intoElem());
    ASSERT_TRUE(xml.findElem("ipAddr"));
    ASSERT_TRUE(xml.intoElem());
    ASSERT_TRUE(xml.findElem("item"));
    const std::vector<std::pair<std::string, std::string>> firstItem = {
        {"ip", "192.0.2.10"},   {"mask", "255.255.255.0"}, {"route", "192.0.2.1"},
        {"dhcpSwitch", "true"}, {"mask", "255.255.255.0"}, // reading again after a reset finds the
                                                           // same child
    };
    for (const auto& [name, value] : firstItem) {
        xml.resetChildPos();
        ASSERT_TRUE(xml.findChildElem(name)) << name;
        EXPECT_EQ(xml.getChildData(), value);
    }
    ASSERT_TRUE(xml.findElem("item"));
    ASSERT_TRUE(xml.findChildElem("ip"));
    EXPECT_EQ(xml.getChildData(), "198.51.100.10");
    xml.resetChildPos();
    EXPECT_FALSE(xml.findChildElem("route"));
    EXPECT_FALSE(xml.findElem("item"));
    ASSERT_TRUE(xml.outOfElem());
    EXPECT_EQ(xml.getTagName(), "ipAddr");

    xml.resetMainPos();
    ASSERT_TRUE(xml.findElem("dns1"));
    EXPECT_EQ(xml.getData(), "192.0.2.53");
    xml.resetMainPos();
    ASSERT_TRUE(xml.findElem("dns2"));
    EXPECT_EQ(xml.getData(), "192.0.2.54");
    ASSERT_TRUE(xml.outOfElem());
    EXPECT_EQ(xml.getTagName(), "tcpIp");

    xml.resetMainPos();
    ASSERT_TRUE(xml.findElem("port"));
    ASSERT_TRUE(xml.intoElem());
    ASSERT_TRUE(xml.findElem("httpPort"));
    EXPECT_EQ(xml.getData(), "80");
    xml.resetMainPos();
    ASSERT_TRUE(xml.findElem("dataPort"));
    EXPECT_EQ(xml.getData(), "6036");
    xml.resetMainPos();
    EXPECT_FALSE(xml.findElem("rtspPort"));
    ASSERT_TRUE(xml.outOfElem());

    xml.resetMainPos();
    ASSERT_TRUE(xml.findElem("productInfo"));
    ASSERT_TRUE(xml.intoElem());
    ASSERT_TRUE(xml.findElem("devName"));
    EXPECT_EQ(xml.getData(), "Gate & Hall");
    xml.resetMainPos();
    ASSERT_TRUE(xml.findElem("build"));
    EXPECT_EQ(xml.getData(), "1208");
    ASSERT_TRUE(xml.outOfElem());
    ASSERT_TRUE(xml.outOfElem());
    EXPECT_EQ(xml.getTagName(), "multicastSearchResult");
    EXPECT_FALSE(xml.outOfElem());
}

TEST(XmlDocumentNavigation, FindMovesForwardAndFailureKeepsThePosition)
{
    XmlDocument xml;
    ASSERT_TRUE(xml.load(R"(<r><a id="1"/><b id="2"/><!-- c --><a id="3"/>text<c id="4"/></r>)"));
    ASSERT_TRUE(xml.findElem("r"));
    ASSERT_TRUE(xml.intoElem());

    struct Step
    {
        std::string name;
        bool found;
        std::string idAfter;
    };
    const std::vector<Step> steps = {
        {"a", true, "1"}, {"a", true, "3"}, {"a", false, "3"}, {"b", false, "3"},
        {"", true, "4"},  {"", false, "4"}, {"A", false, "4"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name + " -> " + step.idAfter);
        EXPECT_EQ(xml.findElem(step.name), step.found);
        EXPECT_EQ(xml.getAttrib("id"), step.idAfter);
    }
    xml.resetMainPos();
    EXPECT_EQ(xml.getTagName(), "");
    ASSERT_TRUE(xml.findElem("b"));
    EXPECT_EQ(xml.getAttrib("id"), "2");
    xml.resetMainPos();
    std::string order;
    while (xml.findElem())
        order += xml.getTagName();
    EXPECT_EQ(order, "abac");
}

TEST(XmlDocumentNavigation, ChildPositionFollowsTheMainPosition)
{
    XmlDocument xml;
    ASSERT_TRUE(xml.load("<r><p><x>1</x><y>2</y><x>3</x></p><q><x>4</x></q></r>"));
    EXPECT_FALSE(xml.findChildElem("r")); // no main position yet
    ASSERT_TRUE(xml.findElem());
    ASSERT_TRUE(xml.findChildElem("p"));
    ASSERT_TRUE(xml.intoElem()); // the child p becomes main
    EXPECT_EQ(xml.getTagName(), "p");
    EXPECT_EQ(childList(xml), (std::vector<std::string>{"x=1", "y=2", "x=3"}));

    xml.resetChildPos();
    ASSERT_TRUE(xml.findChildElem("x"));
    ASSERT_TRUE(xml.findChildElem("x"));
    EXPECT_EQ(xml.getChildData(), "3");
    EXPECT_FALSE(xml.findChildElem("x"));
    EXPECT_EQ(xml.getChildData(), "3");

    ASSERT_TRUE(xml.findElem("q")); // moving main drops the child position
    EXPECT_EQ(xml.getChildTagName(), "");
    ASSERT_TRUE(xml.findChildElem("x"));
    EXPECT_EQ(xml.getChildData(), "4");

    // Out of p's level: r is main again and q, where we stood, is its child position.
    ASSERT_TRUE(xml.outOfElem());
    EXPECT_EQ(xml.getTagName(), "r");
    EXPECT_EQ(xml.getChildTagName(), "q");
    EXPECT_FALSE(xml.findChildElem());

    // Into an element without a child position starts before its first child.
    ASSERT_TRUE(xml.intoElem());
    EXPECT_EQ(xml.getTagName(), "q");
    ASSERT_TRUE(xml.outOfElem());
    xml.resetChildPos();
    ASSERT_TRUE(xml.intoElem());
    EXPECT_EQ(xml.getTagName(), "");
    ASSERT_TRUE(xml.findElem());
    EXPECT_EQ(xml.getTagName(), "p");

    xml.resetPos();
    EXPECT_FALSE(xml.intoElem());
    EXPECT_FALSE(xml.outOfElem());
    ASSERT_TRUE(xml.findElem("r"));
    EXPECT_FALSE(xml.findElem("r"));
}

// --- Reading values ---------------------------------------------------------------------

TEST(XmlDocumentValues, DecodesEntitiesAndJoinsText)
{
    struct Case
    {
        std::string xml;
        std::string data;
    };
    const std::vector<Case> cases = {
        {"<a>x &amp; y &lt;z&gt; &quot;&apos;</a>", "x & y <z> \"'"},
        {"<a>&#x4E2D;&#25991;</a>", "\xE4\xB8\xAD\xE6\x96\x87"},
        {"<a>1<![CDATA[<2>&amp;]]>3</a>", "1<2>&amp;3"},
        {"<a>t<b>u</b>v</a>", "tv"},
        {"<a>line1\r\nline2</a>", "line1\nline2"},
        {"<a>&unknown;</a>", "&unknown;"},
        {"<a></a>", ""},
        {"<a/>", ""},
        {"<a>  padded  </a>", "  padded  "},
        {"\xEF\xBB\xBF<a>\xE4\xB8\xAD</a>", "\xE4\xB8\xAD"},
        {std::string("\xFF\xFE<\0a\0>\0\x2D\x4E<\0/\0a\0>\0", 18), "\xE4\xB8\xAD"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xE9</a>", "caf\xC3\xA9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.xml));
        XmlDocument xml;
        ASSERT_TRUE(xml.load(c.xml));
        ASSERT_TRUE(xml.findElem("a"));
        EXPECT_EQ(xml.getData(), c.data);
    }
}

TEST(XmlDocumentValues, AttributesAndMissingValues)
{
    XmlDocument xml;
    EXPECT_EQ(xml.getTagName(), "");
    EXPECT_EQ(xml.getData(), "");
    EXPECT_EQ(xml.getAttrib("x"), "");
    EXPECT_EQ(xml.getChildData(), "");
    ASSERT_TRUE(xml.load(R"(<r k="v &amp; w" tab="a&#9;b"><c k='&lt;1&gt;'>d</c></r>)"));
    ASSERT_TRUE(xml.findElem());
    EXPECT_EQ(xml.getAttrib("k"), "v & w");
    EXPECT_EQ(xml.getAttrib("tab"), "a\tb");
    EXPECT_EQ(xml.getAttrib("K"), "");
    EXPECT_EQ(xml.getChildAttrib("k"), "");
    ASSERT_TRUE(xml.findChildElem());
    EXPECT_EQ(xml.getChildAttrib("k"), "<1>");
    EXPECT_EQ(xml.getChildAttrib("none"), "");
}

// --- Malformed input --------------------------------------------------------------------

TEST(XmlDocumentLoad, RejectsMalformedDocuments)
{
    const std::vector<std::string> cases = {
        "",
        "   \n",
        "no markup",
        "<a>",
        "<a></b>",
        "<a><b></a></b>",
        "<a/><b/>",
        "<a b=c/>",
        "<a b=\"1/>",
        "<?xml version=\"1.0\"?>",
        "<!-- only a comment -->",
        "<a><![CDATA[open</a>",
        "<1a/>",
        "</a>",
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(testing::PrintToString(text));
        XmlDocument xml;
        ASSERT_TRUE(xml.load("<old/>"));
        EXPECT_FALSE(xml.load(text));
        EXPECT_FALSE(xml.findElem());
        EXPECT_EQ(xml.getDoc(), "");
    }
}

TEST(XmlDocumentLoad, RefusesTextsAboveTheCap)
{
    const std::string open = "<a>";
    const std::string close = "</a>";
    std::string text = open + std::string(XmlDocument::kMaxDocumentBytes - 7, 'x') + close;
    ASSERT_EQ(text.size(), XmlDocument::kMaxDocumentBytes);
    XmlDocument xml;
    EXPECT_TRUE(xml.load(text));
    text.insert(open.size(), "y");
    EXPECT_FALSE(xml.load(text));
    EXPECT_FALSE(xml.findElem());
}

// --- Escaping ---------------------------------------------------------------------------

TEST(XmlDocumentEscape, EscapedTextReadsBackUnchanged)
{
    const std::vector<std::string> texts = {
        "",
        "plain",
        "a&b",
        "<tag attr=\"v\">",
        "\"double\" 'single'",
        "tab\tnewline\ncarriage\rend",
        "&amp; already escaped",
        "]]> and <![CDATA[",
        "\xE4\xB8\xAD\xE6\x96\x87 & <>",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(testing::PrintToString(text));
        const std::string escaped = XmlDocument::escapeText(text);
        EXPECT_EQ(escaped.find_first_of("<>\"'\t\n\r"), std::string::npos);
        XmlDocument xml;
        ASSERT_TRUE(xml.load("<r d=\"" + escaped + "\" s='" + escaped + "'>" + escaped + "</r>"));
        ASSERT_TRUE(xml.findElem("r"));
        EXPECT_EQ(xml.getData(), text);
        EXPECT_EQ(xml.getAttrib("d"), text);
        EXPECT_EQ(xml.getAttrib("s"), text);
    }
}

// --- Building ---------------------------------------------------------------------------

TEST(XmlDocumentBuild, BuiltDocumentReadsBack)
{
    XmlDocument out;
    EXPECT_EQ(out.getDoc(), "");
    ASSERT_TRUE(out.addElem("multicastSearchResult"));
    ASSERT_TRUE(out.addChildElem("productInfo"));
    ASSERT_TRUE(out.intoElem());
    ASSERT_TRUE(out.addChildElem("devName", "Gate & <Hall>"));
    ASSERT_TRUE(out.addChildElem("build", "1208"));
    ASSERT_TRUE(out.outOfElem());
    ASSERT_TRUE(out.addChildElem("port"));
    ASSERT_TRUE(out.intoElem());
    ASSERT_TRUE(out.addChildElem("dataPort", "6036"));
    ASSERT_TRUE(out.outOfElem());
    ASSERT_TRUE(out.setAttrib("version", "1 \"beta\""));
    ASSERT_TRUE(out.setAttrib("version", "2"));

    XmlDocument in;
    ASSERT_TRUE(in.load(out.getDoc()));
    ASSERT_TRUE(in.findElem("multicastSearchResult"));
    EXPECT_EQ(in.getAttrib("version"), "2");
    EXPECT_EQ(childList(in), (std::vector<std::string>{"productInfo", "port"}));
    ASSERT_TRUE(in.intoElem());
    ASSERT_TRUE(in.findElem("productInfo"));
    EXPECT_EQ(childList(in), (std::vector<std::string>{"devName=Gate & <Hall>", "build=1208"}));
    ASSERT_TRUE(in.findElem("port"));
    EXPECT_EQ(childList(in), (std::vector<std::string>{"dataPort=6036"}));
}

TEST(XmlDocumentBuild, InsertsAfterTheCurrentPositions)
{
    XmlDocument xml;
    ASSERT_TRUE(xml.addElem("r"));
    ASSERT_TRUE(xml.addChildElem("a"));
    ASSERT_TRUE(xml.addChildElem("c"));
    xml.resetChildPos();
    ASSERT_TRUE(xml.findChildElem("a"));
    ASSERT_TRUE(xml.addChildElem("b"));
    xml.resetChildPos();
    ASSERT_TRUE(xml.addChildElem("z")); // no child position: at the end
    EXPECT_EQ(childList(xml), (std::vector<std::string>{"a", "b", "c", "z"}));

    ASSERT_TRUE(xml.intoElem()); // empty main position at r's level
    ASSERT_TRUE(xml.findElem("b"));
    ASSERT_TRUE(xml.addElem("b2", "after b"));
    ASSERT_TRUE(xml.outOfElem());
    EXPECT_EQ(childList(xml), (std::vector<std::string>{"a", "b", "b2=after b", "c", "z"}));
}

TEST(XmlDocumentBuild, RefusesInvalidBuilding)
{
    XmlDocument xml;
    EXPECT_FALSE(xml.addChildElem("x")); // no main element
    EXPECT_FALSE(xml.setData("x"));
    EXPECT_FALSE(xml.setAttrib("k", "v"));
    for (const char* name : {"", "1a", "a b", "a<b", "-a", "\xC3\xA9"})
        EXPECT_FALSE(xml.addElem(name)) << name;
    ASSERT_TRUE(xml.addElem("r", "old"));
    EXPECT_FALSE(xml.addElem("second")); // one root only
    EXPECT_FALSE(xml.setAttrib("bad name", "v"));
    EXPECT_FALSE(xml.addChildElem("bad name"));
    ASSERT_TRUE(xml.setData("new"));
    EXPECT_EQ(xml.getData(), "new");
    ASSERT_TRUE(xml.addChildElem("c"));
    EXPECT_FALSE(xml.setData("mixed")); // has an element inside
    EXPECT_EQ(xml.getData(), "new");
}
