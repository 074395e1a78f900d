#include "foundation/Xml.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <memory>
#include <random>
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

TEST(XmlReader, WhiteSpaceInTextFolds)
{
    Doc d(Decl("<a>  x   y  </a>"));
    ASSERT_NE(d.first, nullptr);
    ASSERT_NE(d.first->m_pText, nullptr);
    EXPECT_EQ(std::string(d.first->m_pText->GetBytes()), "x y");
    Doc tabs(Decl("<a>x\t\r\ny</a>"));
    EXPECT_EQ(TextOf(tabs.first), L"x y");
}

TEST(XmlReader, Entities)
{
    Doc d(Decl("<a>p &amp; q &lt;&gt;</a>"));
    EXPECT_EQ(TextOf(d.first), L"p & q <>");
    Doc q(Decl("<a>&quot;&apos;&amp;amp;</a>"));
    EXPECT_EQ(TextOf(q.first), L"\"'&amp;");
    Doc lone(Decl("<a>R&B &x; &</a>"));
    EXPECT_EQ(TextOf(lone.first), L"R&B &x; &");
}

TEST(XmlReader, EmptyElementsAndAttributes)
{
    Doc d(Decl("<r><a/><b></b><c x=\"1\" /><d y='&lt;2' z=\"\"/></r>"));
    ASSERT_NE(d.first, nullptr);
    XmlElement* a = CXml::FindChild(d.first, L"a");
    XmlElement* b = CXml::FindChild(d.first, L"b");
    XmlElement* c = CXml::FindChild(d.first, L"c");
    XmlElement* e = CXml::FindChild(d.first, L"d");
    ASSERT_TRUE(a && b && c && e);
    EXPECT_EQ(a->m_pText, nullptr);
    EXPECT_EQ(b->m_pText, nullptr);
    EXPECT_EQ(c->m_pText, nullptr);
    ASSERT_NE(c->m_pAttr, nullptr);
    EXPECT_TRUE(c->m_pAttr->m_pName->Equals(L"x"));
    EXPECT_TRUE(c->m_pAttr->m_pValue->Equals(L"1"));
    ASSERT_NE(e->m_pAttr, nullptr);
    EXPECT_TRUE(e->m_pAttr->m_pValue->Equals(L"<2"));
    ASSERT_NE(e->m_pAttr->m_pNext, nullptr);
    EXPECT_EQ(e->m_pAttr->m_pNext->m_pValue, nullptr);  // empty value
}

TEST(XmlReader, OnlyTheLastTextRunSurvives)
{
    Doc d(Decl("<a>x<b/>y</a>"));
    EXPECT_EQ(TextOf(d.first), L"y");
    EXPECT_NE(CXml::FindChild(d.first, L"b"), nullptr);
}

TEST(XmlReader, MismatchedCloseDropsTheRest)
{
    Doc d(Decl("<a><b></c></a><z/>"));
    ASSERT_NE(d.first, nullptr);
    EXPECT_EQ(d.first->m_pChild, nullptr);
    EXPECT_EQ(d.first->m_pNext, nullptr);
}

TEST(XmlReader, OpenElementAtEndKeepsWhatItHas)
{
    Doc d(Decl("<a><b>1</b><c>2"));
    ASSERT_NE(d.first, nullptr);
    EXPECT_EQ(ChildText(d, L"b"), L"1");
    XmlElement* c = CXml::FindChild(d.first, L"c");
    ASSERT_NE(c, nullptr);
}

TEST(XmlReader, Comments)
{
    Doc d(Decl("<!-- note --><config><x>1</x></config>"));
    ASSERT_NE(d.first, nullptr);
    EXPECT_TRUE(d.first->m_pName->Equals(L"config"));
    EXPECT_EQ(ChildText(d, L"x"), L"1");

    TraceCapture trace;
    Doc before(Decl("<r><a>1</a><b><!-- note --></b><c>3</c></r><next/>"));
    ASSERT_NE(before.first, nullptr);
    EXPECT_EQ(ChildText(before, L"a"), L"1");
    EXPECT_EQ(CXml::FindChild(before.first, L"c"), nullptr);
    EXPECT_EQ(before.first->m_pNext, nullptr);
    ASSERT_FALSE(TraceCapture::Lines().empty());
    EXPECT_EQ(TraceCapture::Lines()[0].rfind(L"XML parse error (", 0), 0u);
}

TEST(XmlReader, DeclarationRules)
{
    EXPECT_EQ(Doc("<?xml?><a/>").first, nullptr);
    EXPECT_EQ(Doc("<a/>").first, nullptr);
    EXPECT_EQ(Doc("\xEF\xBB\xBF<?xml version=\"1.0\" ?><a/>").first, nullptr);
    EXPECT_EQ(Doc("<?XML version=\"1.0\" ?><a/>").first, nullptr);
    EXPECT_EQ(Doc("<?xml version=\"1.0\" ?>").first, nullptr);  // no element
    EXPECT_NE(Doc("  \r\n<?xml version=\"1.0\"?><a/>").first, nullptr);
}

TEST(XmlReader, ShiftJisDeclarationDecodesTheDocument)
{
    // "録音" in Shift_JIS, in text and in an attribute.
    std::string body = "<?xml version=\"1.0\" encoding=\"SHIFT_JIS\" ?><t a=\"\x98\x5e\">\x98\x5e\x89\xb9</t>";
    Doc d(body);
    ASSERT_NE(d.first, nullptr);
    EXPECT_EQ(d.xml.m_CodePage, 932u);
    EXPECT_EQ(TextOf(d.first), L"録音");
    EXPECT_TRUE(d.first->m_pAttr->m_pValue->Equals(L"録"));
    ASSERT_NE(d.first->m_pEncoding, nullptr);
    EXPECT_TRUE(d.first->m_pEncoding->Equals(L"SHIFT_JIS"));

    Doc mixed("<?xml version=\"1.0\" encoding=\"Shift_Jis\"?><t/>");
    EXPECT_EQ(mixed.xml.m_CodePage, 932u);
    Doc utf8("<?xml version=\"1.0\" encoding=\"utf-8\"?><t>\xE9\x8C\xB2</t>");
    EXPECT_EQ(utf8.xml.m_CodePage, 65001u);
    EXPECT_EQ(TextOf(utf8.first), L"録");
    Doc euc("<?xml version=\"1.0\" encoding=\"euc\"?><t/>");
    EXPECT_EQ(euc.xml.m_CodePage, 65001u);
}

TEST(XmlReader, TwoTopLevelElementsAreChained)
{
    Doc d(Decl("<config><language>1</language></config>\r\n<programs><item/><item/><other/><item/></programs>"));
    ASSERT_NE(d.first, nullptr);
    XmlElement* programs = CXml::FindSibling(d.first, L"programs");
    ASSERT_NE(programs, nullptr);
    int items = 0;
    for (XmlElement* i = CXml::FindChild(programs, L"item"); i; i = CXml::FindNext(i))
        ++items;
    EXPECT_EQ(items, 3);
    EXPECT_EQ(CXml::FindChild(d.first, L"Language"), nullptr);  // case-sensitive
}

TEST(XmlReader, GetInt)
{
    Doc d(Decl("<r><a>42</a><b>-7</b><c>  7</c><d>-</d><e>4 2</e><f>+5</f><g>12 </g><h></h>"
               "<i>4294967297</i><j>x</j></r>"));
    auto value = [&](const wchar_t* name) { return CXml::GetInt(CXml::FindChild(d.first, name), 99); };
    EXPECT_EQ(value(L"a"), 42);
    EXPECT_EQ(value(L"b"), -7);
    EXPECT_EQ(value(L"c"), 7);  // leading white space was already folded away by the reader
    EXPECT_EQ(value(L"d"), 0);
    EXPECT_EQ(value(L"e"), 99);
    EXPECT_EQ(value(L"f"), 99);
    EXPECT_EQ(value(L"g"), 12);  // the reader drops the trailing space
    EXPECT_EQ(value(L"h"), 99);
    EXPECT_EQ(value(L"i"), 1);   // 32-bit wrap
    EXPECT_EQ(value(L"j"), 99);
    EXPECT_EQ(value(L"missing"), 99);
    EXPECT_EQ(CXml::GetInt(nullptr, -1), -1);
}

TEST(XmlReader, GetIntOnRawTexts)
{
    // The lookup itself, on texts a writer could hold.
    auto value = [](const wchar_t* text) {
        std::unique_ptr<XmlElement, void (*)(XmlElement*)> e(CXml::CreateElement(L"v", text), CXml::FreeElements);
        return CXml::GetInt(e.get(), 99);
    };
    EXPECT_EQ(value(L"  7"), 7);
    EXPECT_EQ(value(L"\t-7"), -7);
    EXPECT_EQ(value(L"12 "), 99);
    EXPECT_EQ(value(L"4 2"), 99);
    EXPECT_EQ(value(L""), 99);
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

TEST(XmlReader, WideDocumentsLoadInLinearTime)
{
    // 240,000 attributes on one element, then as many children: a walk of
    // the list per append takes minutes here, a linear load well under 2 s.
    const int n = 240000;
    std::string wide = Decl("<a");
    for (int i = 0; i < n; ++i)
        wide += " b" + std::to_string(i) + "=\"1\"";
    wide += ">";
    for (int i = 0; i < n; ++i)
        wide += "<c/>";
    wide += "</a>";
    DWORD start = GetTickCount();
    Doc d(wide);
    DWORD took = GetTickCount() - start;
    ASSERT_NE(d.first, nullptr);
    int attributes = 0, children = 0;
    for (XmlAttribute* a = d.first->m_pAttr; a; a = a->m_pNext)
        ++attributes;
    for (XmlElement* c = d.first->m_pChild; c; c = c->m_pNext)
        ++children;
    EXPECT_EQ(attributes, n);
    EXPECT_EQ(children, n);
    EXPECT_LT(took, 2000u);
}

// Mutated and truncated documents: no crash, no read past the buffer (each
// document sits at the very end of a guarded allocation), bounded time.
TEST(XmlReader, MutationFuzz)
{
    const std::string seed = Decl(
        "<!-- c --><config><language>1</language><font_name></font_name><font_size>0</font_size>"
        "<colors><color><index>0</index><text>0</text><background>16777215</background></color></colors>"
        "<frequency>48000</frequency><title a=\"x&amp;y\" b='z'>A&amp;B &lt;録音&gt; \xF0\x9F\x8E\xB5</title>"
        "</config>\r\n<programs><item><start_time>2024/05/01 07:30:00</start_time><weekly>62</weekly>"
        "<title>t</title></item><item/></programs>\r\n");
    const char alphabet[] = "<>/=\"'&;!-?x \t\r\n\x80\xE9\xFF";
    std::mt19937 rng(20261206);
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const size_t page = si.dwPageSize;
    DWORD start = GetTickCount();
    DWORD slowest = 0;
    for (int round = 0; round < 12000; ++round) {
        std::string doc = seed;
        int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits && !doc.empty(); ++e) {
            size_t at = rng() % doc.size();
            switch (rng() % 4) {
            case 0: doc[at] = alphabet[rng() % (sizeof alphabet - 1)]; break;
            case 1: doc.erase(at, 1 + rng() % 16); break;
            case 2: doc.insert(at, 1, alphabet[rng() % (sizeof alphabet - 1)]); break;
            case 3: doc.insert(at, doc.substr(rng() % doc.size(), rng() % 40)); break;
            }
        }
        if (rng() % 3 == 0)
            doc.resize(rng() % (doc.size() + 1));
        if (doc.empty())
            continue;
        // The document ends right before a no-access page.
        size_t span = (doc.size() + page - 1) / page * page;
        char* base = static_cast<char*>(VirtualAlloc(nullptr, span + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(base, nullptr);
        DWORD old;
        VirtualProtect(base + span, page, PAGE_NOACCESS, &old);
        char* data = base + span - doc.size();
        memcpy(data, doc.data(), doc.size());
        DWORD t0 = GetTickCount();
        CXml xml;
        XmlElement* first = xml.LoadDocument(data, static_cast<int>(doc.size()));
        if (first) {
            CXml::GetInt(CXml::FindChild(first, L"language"), 0);
            CXml::FreeElements(first);
        }
        DWORD took = GetTickCount() - t0;
        if (took > slowest)
            slowest = took;
        VirtualFree(base, 0, MEM_RELEASE);
    }
    EXPECT_LT(slowest, 200u);
    EXPECT_LT(GetTickCount() - start, 60000u);
}
