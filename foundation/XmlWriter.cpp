#include "foundation/Xml.h"
#include "foundation/XmlString.h"

#include <windows.h>
#include <cwchar>
#include <new>

namespace {

struct WideEntity {
    wchar_t ch;
    const wchar_t* text;
};
const WideEntity kWideEntities[] = {
    {L'<', L"&lt;"}, {L'>', L"&gt;"}, {L'&', L"&amp;"}, {L'"', L"&quot;"}, {L'\'', L"&apos;"}};

const wchar_t* EntityFor(wchar_t c)
{
    for (const WideEntity& e : kWideEntities) {
        if (e.ch == c)
            return e.text;
    }
    return nullptr;
}

// Runs between entities are converted whole, so surrogate pairs stay together.
void WriteEscaped(CXmlString& out, const wchar_t* text)
{
    if (!text)
        return;
    const wchar_t* run = text;
    for (const wchar_t* p = text; *p; ++p) {
        const wchar_t* entity = EntityFor(*p);
        if (!entity)
            continue;
        out.Append(run, static_cast<int>(p - run));
        out.Append(entity);
        run = p + 1;
    }
    out.Append(run);
}

const wchar_t* WideOf(CString* s)
{
    return s ? s->GetWide() : nullptr;
}

// When the strings' own code page is the output's (UTF-8 here), their bytes
// go out as they are; the five entity characters are ASCII and never occur
// inside a multi-byte sequence, so escaping works on bytes too.
bool SameCodePage(const CXmlString& out)
{
    return kStringCodePage == out.m_CodePage;
}

void WriteName(CXmlString& out, CString* name)
{
    if (!name)
        return;
    if (SameCodePage(out))
        out.AppendBytes(name->GetBytes(), name->m_nLength);
    else
        out.Append(WideOf(name));
}

void WriteEscapedString(CXmlString& out, CString* text)
{
    if (!text)
        return;
    if (!SameCodePage(out)) {
        WriteEscaped(out, WideOf(text));
        return;
    }
    const char* bytes = text->GetBytes();
    int run = 0;
    for (int i = 0; i < text->m_nLength; ++i) {
        wchar_t c = static_cast<unsigned char>(bytes[i]);
        const wchar_t* entity = c < 0x80 ? EntityFor(c) : nullptr;
        if (!entity)
            continue;
        out.AppendBytes(bytes + run, i - run);
        out.Append(entity);
        run = i + 1;
    }
    out.AppendBytes(bytes + run, text->m_nLength - run);
}

void WriteElements(XmlElement* first, CXmlString& out, int depth)
{
    for (XmlElement* e = first; e; e = e->m_pNext) {
        out.AppendBytes("<", 1);
        WriteName(out, e->m_pName);
        if (e->m_pAttr) {
            out.Append(L" ");
            for (XmlAttribute* a = e->m_pAttr; a; a = a->m_pNext) {
                if (!a->m_pName)
                    continue;
                WriteName(out, a->m_pName);
                out.AppendBytes("=\"", 2);
                WriteEscapedString(out, a->m_pValue);
                out.AppendBytes("\" ", 2);
            }
        }
        if (!e->m_pText && !e->m_pChild) {
            out.AppendBytes("/>\r\n", 4);
            continue;
        }
        out.AppendBytes(">", 1);
        WriteEscapedString(out, e->m_pText);
        WriteElements(e->m_pChild, out, depth + 1);
        out.AppendBytes("</", 2);
        WriteName(out, e->m_pName);
        out.AppendBytes(">\r\n", 3);
    }
}

}  // namespace

XmlElement* CXml::CreateElement(const wchar_t* name, const wchar_t* text)
{
    XmlElement* e = new (std::nothrow) XmlElement();
    if (!e)
        return nullptr;
    if (name) {
        e->m_pName = new (std::nothrow) CString(name);
        if (!e->m_pName) {
            delete e;
            return nullptr;
        }
    }
    if (text) {
        e->m_pText = new (std::nothrow) CString(text);
        if (!e->m_pText) {
            delete e->m_pName;
            delete e;
            return nullptr;
        }
    }
    return e;
}

void CXml::AppendChild(XmlElement* parent, XmlElement* child)
{
    if (!parent || !child)
        return;
    XmlElement** link = &parent->m_pChild;
    while (*link)
        link = &(*link)->m_pNext;
    *link = child;
}

XmlElement* CXml::AppendAfter(XmlElement* parent, XmlElement* last, XmlElement* child)
{
    if (!child)
        return last;
    if (last)
        last->m_pNext = child;
    else
        AppendChild(parent, child);
    return child;
}

char* CXml::Write(XmlElement* first)
{
    m_CodePage = 65001;
    CXmlString out;
    out.m_CodePage = 65001;
    out.Append(L"<?xml version=\"1.0\" ");
    if (first && first->m_pEncoding) {
        out.Append(L"encoding=\"");
        out.Append(first->m_pEncoding->GetWide());
        out.Append(L"\" ");
    }
    out.Append(L"?>\r\n");
    WriteElements(first, out, 0);
    return out.Detach();
}
