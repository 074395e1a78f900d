#include "foundation/Xml.h"
#include "foundation/XmlString.h"

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

void WriteElements(XmlElement* first, CXmlString& out, int depth)
{
    for (XmlElement* e = first; e; e = e->m_pNext) {
        out.Append(L"<");
        out.Append(WideOf(e->m_pName));
        if (e->m_pAttr) {
            out.Append(L" ");
            for (XmlAttribute* a = e->m_pAttr; a; a = a->m_pNext) {
                if (!a->m_pName)
                    continue;
                out.Append(WideOf(a->m_pName));
                out.Append(L"=\"");
                WriteEscaped(out, WideOf(a->m_pValue));
                out.Append(L"\" ");
            }
        }
        if (!e->m_pText && !e->m_pChild) {
            out.Append(L"/>\r\n");
            continue;
        }
        out.Append(L">");
        WriteEscaped(out, WideOf(e->m_pText));
        WriteElements(e->m_pChild, out, depth + 1);
        out.Append(L"</");
        out.Append(WideOf(e->m_pName));
        out.Append(L">\r\n");
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
