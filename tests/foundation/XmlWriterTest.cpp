#include "foundation/Xml.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

struct Tree {
    XmlElement* root = CXml::CreateElement(L"root", nullptr);
    ~Tree() { CXml::FreeElements(root); }
    XmlElement* Add(XmlElement* parent, const wchar_t* name, const wchar_t* text = nullptr)
    {
        XmlElement* e = CXml::CreateElement(name, text);
        CXml::AppendChild(parent ? parent : root, e);
        return e;
    }
    std::string Write()
    {
        CXml xml;
        std::unique_ptr<char[]> bytes(xml.Write(root->m_pChild));
        return bytes ? std::string(bytes.get()) : std::string("<null>");
    }
};

}  // namespace

// The bytes other tools and older copies read: line breaks, empty and
// missing texts, attributes, the escapes and UTF-8.
TEST(XmlWriter, ExactBytes)
{
    Tree t;
    XmlElement* config = t.Add(nullptr, L"config");
    t.Add(config, L"language", L"1");
    t.Add(config, L"font_name", L"");
    t.Add(config, L"cap_device_id");
    XmlElement* e = t.Add(nullptr, L"e");
    e->m_pAttr = new XmlAttribute();
    e->m_pAttr->m_pName = new CString(L"x");
    e->m_pAttr->m_pValue = new CString(L"1");
    t.Add(nullptr, L"t", L"<>&\"'");
    t.Add(nullptr, L"j", L"録音\U0001F3B5");
    EXPECT_EQ(t.Write(),
              "<?xml version=\"1.0\" ?>\r\n"
              "<config><language>1</language>\r\n"
              "<font_name></font_name>\r\n"
              "<cap_device_id/>\r\n"
              "</config>\r\n"
              "<e x=\"1\" />\r\n"
              "<t>&lt;&gt;&amp;&quot;&apos;</t>\r\n"
              "<j>\xE9\x8C\xB2\xE9\x9F\xB3\xF0\x9F\x8E\xB5</j>\r\n");
    Tree encoded;
    encoded.Add(nullptr, L"a")->m_pEncoding = new CString(L"utf-8");
    EXPECT_EQ(encoded.Write(), "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<a/>\r\n");
}

TEST(XmlWriter, RoundTripGivesTheSameTextsWithWhiteSpaceFolded)
{
    const wchar_t* texts[] = {L"plain", L"A&B <tag> \"q\" 'a'", L"予約録音アプリ", L"🎵 𠮷野家 🎵", L"&amp;"};
    Tree t;
    XmlElement* list = t.Add(nullptr, L"list");
    for (const wchar_t* text : texts)
        t.Add(list, L"v", text);
    t.Add(nullptr, L"second", L"  a \t\r\n b  ");
    std::string bytes = t.Write();
    CXml reader;
    XmlElement* first = reader.LoadDocument(bytes.data(), static_cast<int>(bytes.size()));
    ASSERT_NE(first, nullptr);
    XmlElement* v = CXml::FindChild(first, L"v");
    for (const wchar_t* text : texts) {
        ASSERT_NE(v, nullptr);
        EXPECT_STREQ(CXml::GetText(v), text);
        v = CXml::FindNext(v);
    }
    EXPECT_EQ(v, nullptr);
    ASSERT_NE(first->m_pNext, nullptr);
    EXPECT_STREQ(CXml::GetText(first->m_pNext), L"a b");
    CXml::FreeElements(first);
}
