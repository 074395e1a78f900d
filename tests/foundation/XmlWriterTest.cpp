#include "foundation/Xml.h"
#include "foundation/XmlString.h"

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

TEST(XmlWriter, ExactBytesOfTheConfigurationShape)
{
    Tree t;
    XmlElement* config = t.Add(nullptr, L"config");
    t.Add(config, L"language", L"1");
    XmlElement* programs = t.Add(nullptr, L"programs");
    XmlElement* item = t.Add(programs, L"item");
    t.Add(item, L"title", L"A&B");
    EXPECT_EQ(t.Write(),
              "<?xml version=\"1.0\" ?>\r\n"
              "<config><language>1</language>\r\n"
              "</config>\r\n"
              "<programs><item><title>A&amp;B</title>\r\n"
              "</item>\r\n"
              "</programs>\r\n");
}

TEST(XmlWriter, EmptyTextNoTextAndAttributes)
{
    Tree t;
    t.Add(nullptr, L"font_name", L"");
    t.Add(nullptr, L"font_name");
    XmlElement* e = t.Add(nullptr, L"e");
    XmlAttribute* a = new XmlAttribute();
    a->m_pName = new CString(L"x");
    a->m_pValue = new CString(L"1");
    e->m_pAttr = a;
    EXPECT_EQ(t.Write(),
              "<?xml version=\"1.0\" ?>\r\n"
              "<font_name></font_name>\r\n"
              "<font_name/>\r\n"
              "<e x=\"1\" />\r\n");
}

TEST(XmlWriter, EncodingAttributeOnlyWhenSet)
{
    Tree t;
    XmlElement* e = t.Add(nullptr, L"a");
    e->m_pEncoding = new CString(L"utf-8");
    EXPECT_EQ(t.Write(), "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<a/>\r\n");
}

TEST(XmlWriter, EscapesAndUtf8)
{
    Tree t;
    t.Add(nullptr, L"t", L"<>&\"'");
    t.Add(nullptr, L"j", L"録音");
    t.Add(nullptr, L"emoji", L"a\U0001F3B5b\U00020BB7");
    EXPECT_EQ(t.Write(),
              "<?xml version=\"1.0\" ?>\r\n"
              "<t>&lt;&gt;&amp;&quot;&apos;</t>\r\n"
              "<j>\xE9\x8C\xB2\xE9\x9F\xB3</j>\r\n"
              "<emoji>a\xF0\x9F\x8E\xB5" "b\xF0\xA0\xAE\xB7</emoji>\r\n");
}

TEST(XmlWriter, RoundTripGivesTheSameTree)
{
    const wchar_t* texts[] = {L"plain", L"A&B <tag> \"q\" 'a'", L"予約録音アプリ", L"🎵 𠮷野家 🎵", L"x y", L"&amp;"};
    Tree t;
    XmlElement* list = t.Add(nullptr, L"list");
    for (const wchar_t* text : texts)
        t.Add(list, L"v", text);
    t.Add(nullptr, L"second", L"2");
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
    EXPECT_STREQ(CXml::GetText(first->m_pNext), L"2");
    CXml::FreeElements(first);
}

TEST(XmlWriter, RoundTripFoldsWhiteSpace)
{
    Tree t;
    t.Add(nullptr, L"v", L"  a \t\r\n b  ");
    std::string bytes = t.Write();
    CXml reader;
    XmlElement* first = reader.LoadDocument(bytes.data(), static_cast<int>(bytes.size()));
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(CXml::GetText(first), L"a b");
    CXml::FreeElements(first);
}

TEST(XmlString, GrowsGeometrically)
{
    CXmlString s;
    int reallocations = 0;
    char* last = nullptr;
    for (int i = 0; i < 200000; ++i) {
        s.Append(L"<item>0123456789</item>\r\n");
        if (s.m_pData != last) {
            ++reallocations;
            last = s.m_pData;
        }
    }
    EXPECT_EQ(s.m_nLength, 200000 * 25);
    EXPECT_LT(reallocations, 40);
    EXPECT_EQ(s.m_pData[s.m_nLength], 0);
}
