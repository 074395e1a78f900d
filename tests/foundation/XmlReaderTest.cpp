#include "foundation/Xml.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

struct Doc {
    CXml xml;
    XmlElement* first = nullptr;
    explicit Doc(const std::string& text)
    {
        first = xml.LoadDocument(text.data(), static_cast<int>(text.size()));
    }
    ~Doc() { CXml::FreeElements(first); }
};

std::string Decl(const std::string& body)
{
    return "<?xml version=\"1.0\" ?>\r\n" + body;
}

std::wstring TextOf(XmlElement* e)
{
    return CXml::GetText(e);
}

// Text of a child element of the first top-level element, through FindChild.
std::wstring ChildText(const Doc& d, const wchar_t* name)
{
    return TextOf(CXml::FindChild(d.first, name));
}

}  // namespace

// Texts as the reader gives them: white space folded, the five entities
// decoded and anything else kept, only the last text run of an element.
TEST(XmlReader, Texts)
{
    struct Case {
        const char* body;
        const wchar_t* text;
    } cases[] = {
        {"<a>  x   y  </a>", L"x y"}, {"<a>x\t\r\ny</a>", L"x y"}, {"<a>p &amp; q &lt;&gt;</a>", L"p & q <>"},
        {"<a>&quot;&apos;&amp;amp;</a>", L"\"'&amp;"}, {"<a>R&B &x; &</a>", L"R&B &x; &"}, {"<a>x<b/>y</a>", L"y"},
    };
    for (const Case& c : cases) {
        Doc d(Decl(c.body));
        ASSERT_NE(d.first, nullptr) << c.body;
        EXPECT_EQ(TextOf(d.first), c.text) << c.body;
    }
    Doc empty(Decl("<r><a/><c x=\"1\" /><d y='&lt;2'></d></r>"));
    EXPECT_EQ(CXml::FindChild(empty.first, L"a")->m_pText, nullptr);
    EXPECT_TRUE(CXml::FindChild(empty.first, L"c")->m_pAttr->m_pValue->Equals(L"1"));
    EXPECT_TRUE(CXml::FindChild(empty.first, L"d")->m_pAttr->m_pValue->Equals(L"<2"));
}

// Damage ends the tree where it starts: a wrong closing tag or a comment
// inside an element drops the rest (traced), an open element at the end
// keeps what it holds.
TEST(XmlReader, DamageKeepsWhatCameBefore)
{
    Doc mismatched(Decl("<a><b></c></a><z/>"));
    ASSERT_NE(mismatched.first, nullptr);
    EXPECT_EQ(mismatched.first->m_pChild, nullptr);
    EXPECT_EQ(mismatched.first->m_pNext, nullptr);
    Doc open(Decl("<a><b>1</b><c>2"));
    EXPECT_EQ(ChildText(open, L"b"), L"1");
    EXPECT_NE(CXml::FindChild(open.first, L"c"), nullptr);
    Doc leading(Decl("<!-- note --><config><x>1</x></config>"));
    EXPECT_EQ(ChildText(leading, L"x"), L"1");
    TraceCapture trace;
    Doc inside(Decl("<r><a>1</a><b><!-- note --></b><c>3</c></r><next/>"));
    EXPECT_EQ(ChildText(inside, L"a"), L"1");
    EXPECT_EQ(CXml::FindChild(inside.first, L"c"), nullptr);
    EXPECT_EQ(inside.first->m_pNext, nullptr);
    ASSERT_FALSE(TraceCapture::Lines().empty());
    EXPECT_EQ(TraceCapture::Lines()[0].rfind(L"XML parse error (", 0), 0u);
}

TEST(XmlReader, DeclarationAndEncodings)
{
    for (const char* bad : {"<?xml?><a/>", "<a/>", "\xEF\xBB\xBF<?xml version=\"1.0\" ?><a/>",
                            "<?XML version=\"1.0\" ?><a/>", "<?xml version=\"1.0\" ?>"})
        EXPECT_EQ(Doc(bad).first, nullptr) << bad;
    EXPECT_NE(Doc("  \r\n<?xml version=\"1.0\"?><a/>").first, nullptr);
    // "録音" in Shift_JIS, in text and in an attribute.
    Doc sjis("<?xml version=\"1.0\" encoding=\"SHIFT_JIS\" ?><t a=\"\x98\x5e\">\x98\x5e\x89\xb9</t>");
    ASSERT_NE(sjis.first, nullptr);
    EXPECT_EQ(sjis.xml.m_CodePage, 932u);
    EXPECT_EQ(TextOf(sjis.first), L"録音");
    EXPECT_TRUE(sjis.first->m_pAttr->m_pValue->Equals(L"録"));
    EXPECT_TRUE(sjis.first->m_pEncoding->Equals(L"SHIFT_JIS"));
    EXPECT_EQ(Doc("<?xml version=\"1.0\" encoding=\"Shift_Jis\"?><t/>").xml.m_CodePage, 932u);
    Doc utf8("<?xml version=\"1.0\" encoding=\"utf-8\"?><t>\xE9\x8C\xB2</t>");
    EXPECT_EQ(utf8.xml.m_CodePage, 65001u);
    EXPECT_EQ(TextOf(utf8.first), L"録");
    EXPECT_EQ(Doc("<?xml version=\"1.0\" encoding=\"euc\"?><t/>").xml.m_CodePage, 65001u);
}

TEST(XmlReader, DeepNestingIsBoundedNotACrash)
{
    std::string deep = Decl("");
    for (int i = 0; i < 200000; ++i)
        deep += "<a>";
    TraceCapture trace;
    Doc d(deep);
    ASSERT_NE(d.first, nullptr);
    int depth = 0;
    for (XmlElement* e = d.first; e; e = e->m_pChild)
        ++depth;
    EXPECT_EQ(depth, CXml::kMaxDepth);
}

TEST(XmlReader, WideElementsLoadInLinearTime)
{
    // 240,000 attributes on one element: a walk of the list per append takes
    // minutes here, a linear load well under 2 s.
    const int n = 240000;
    std::string wide = Decl("<a");
    for (int i = 0; i < n; ++i)
        wide += " b" + std::to_string(i) + "=\"1\"";
    DWORD start = GetTickCount();
    Doc d(wide + "/>");
    DWORD took = GetTickCount() - start;
    ASSERT_NE(d.first, nullptr);
    int attributes = 0;
    for (XmlAttribute* a = d.first->m_pAttr; a; a = a->m_pNext)
        ++attributes;
    EXPECT_EQ(attributes, n);
    EXPECT_LT(took, 2000u);
}
