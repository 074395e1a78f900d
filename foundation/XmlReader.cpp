#include "foundation/CodePage.h"
#include "foundation/Trace.h"
#include "foundation/Xml.h"

#include <cstring>
#include <cwchar>
#include <new>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool AtEnd(const XmlCursor& c) { return c.m_nPos >= c.m_nLength; }

char Peek(const XmlCursor& c) { return AtEnd(c) ? 0 : c.m_pData[c.m_nPos]; }

bool StartsWith(const XmlCursor& c, int pos, const char* s)
{
    int n = static_cast<int>(strlen(s));
    return pos >= 0 && c.m_nLength - pos >= n && memcmp(c.m_pData + pos, s, static_cast<size_t>(n)) == 0;
}

void SkipSpace(XmlCursor& c)
{
    while (!AtEnd(c) && IsSpace(c.m_pData[c.m_nPos]))
        ++c.m_nPos;
}

bool IsNameStop(char c)
{
    return c == 0 || IsSpace(c) || c == '"' || c == '&' || c == '\'' || c == '/' || c == '<' || c == '=' ||
           c == '>';
}

struct Entity {
    const char* text;
    char ch;
};
const Entity kEntities[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};

void FreeAttribute(XmlAttribute* a)
{
    delete a->m_pName;
    delete a->m_pValue;
    delete a;
}

void FreeElement(XmlElement* e)
{
    e->m_pNext = nullptr;
    CXml::FreeElements(e);
}

bool SameIgnoreCase(const wchar_t* a, const wchar_t* b)
{
    return a && b && _wcsicmp(a, b) == 0;
}

}  // namespace

CString* CXml::MakeString(const char* bytes, int count)
{
    CString* s = new (std::nothrow) CString();
    if (!s)
        return nullptr;
    wchar_t* wide = MultiToWide(bytes, count, m_CodePage);
    if (wide) {
        s->Assign(wide, -1);
        delete[] wide;
    }
    return s;
}

CString* CXml::ParseName(XmlCursor& cursor)
{
    int end = cursor.m_nPos;
    while (end < cursor.m_nLength && !IsNameStop(cursor.m_pData[end]))
        ++end;
    if (end >= cursor.m_nLength || end == cursor.m_nPos)
        return nullptr;
    CString* name = MakeString(cursor.m_pData + cursor.m_nPos, end - cursor.m_nPos);
    if (!name)
        return nullptr;
    cursor.m_nPos = end;
    return name;
}

CString* CXml::ParseText(XmlCursor& cursor, char quote)
{
    const int start = cursor.m_nPos;
    int end = start;
    while (end < cursor.m_nLength) {
        char c = cursor.m_pData[end];
        if (c == '<' || c == '>' || (quote && c == quote))
            break;
        ++end;
    }
    if (end == start)
        return nullptr;

    char* out = new (std::nothrow) char[static_cast<size_t>(end - start) + 1];
    if (!out)
        return nullptr;
    int n = 0;
    bool inSpace = false;
    int pos = start;
    bool ok = false;
    while (true) {
        if (pos >= cursor.m_nLength)
            break;  // error: the data ended inside the text
        char c = cursor.m_pData[pos];
        if (quote && c == quote) {
            ++pos;
            ok = true;
            break;
        }
        if (c == '<') {
            ok = !quote;
            break;
        }
        if (c == '>')
            break;
        if (c == '&') {
            const Entity* match = nullptr;
            for (const Entity& e : kEntities) {
                if (StartsWith(cursor, pos, e.text)) {
                    match = &e;
                    break;
                }
            }
            out[n++] = match ? match->ch : '&';
            pos += match ? static_cast<int>(strlen(match->text)) : 1;
            inSpace = false;
        } else if (IsSpace(c)) {
            if (!inSpace && n > 0)
                out[n++] = ' ';
            inSpace = true;
            ++pos;
        } else {
            out[n++] = c;
            inSpace = false;
            ++pos;
        }
    }
    if (!ok) {
        delete[] out;
        cursor.m_nPos = (pos == start) ? pos + 1 : pos;
        return nullptr;
    }
    if (n > 0 && out[n - 1] == ' ' && inSpace)
        --n;
    cursor.m_nPos = pos;
    CString* text = MakeString(out, n);
    delete[] out;
    return text;
}

XmlAttribute* CXml::ParseAttribute(XmlCursor& cursor, XmlAttribute** link)
{
    SkipSpace(cursor);
    CString* name = ParseName(cursor);
    if (!name)
        return nullptr;
    SkipSpace(cursor);
    if (Peek(cursor) != '=') {
        delete name;
        return nullptr;
    }
    ++cursor.m_nPos;
    SkipSpace(cursor);
    char quote = Peek(cursor);
    if (quote != '"' && quote != '\'') {
        delete name;
        return nullptr;
    }
    ++cursor.m_nPos;
    CString* value = ParseText(cursor, quote);
    if (!value && Peek(cursor) == quote)
        ++cursor.m_nPos;  // an empty value: step over its closing quote
    XmlAttribute* attr = new (std::nothrow) XmlAttribute();
    if (!attr) {
        delete name;
        delete value;
        return nullptr;
    }
    attr->m_pName = name;
    attr->m_pValue = value;
    if (link)
        *link = attr;
    return attr;
}

int CXml::ParseDeclaration(XmlCursor& cursor, XmlElement* holder)
{
    SkipSpace(cursor);
    if (!StartsWith(cursor, cursor.m_nPos, "<?xml"))
        return 0;
    cursor.m_nPos += 5;
    if (AtEnd(cursor) || !IsSpace(Peek(cursor)))
        return 0;
    int lastPass = -1;
    while (true) {
        if (cursor.m_nPos == lastPass) {
            Trace(L"XML parse error (%d)\n", cursor.m_nPos);
            return 0;
        }
        lastPass = cursor.m_nPos;
        SkipSpace(cursor);
        if (AtEnd(cursor))
            return 0;
        if (StartsWith(cursor, cursor.m_nPos, "?>")) {
            cursor.m_nPos += 2;
            return 1;
        }
        XmlAttribute* attr = ParseAttribute(cursor, nullptr);
        if (!attr)
            return 0;
        if (attr->m_pName->Equals(L"encoding")) {
            m_CodePage = 65001;
            if (attr->m_pValue) {
                const wchar_t* value = attr->m_pValue->GetWide();
                if (SameIgnoreCase(value, L"shift_jis"))
                    m_CodePage = 932;
            }
            if (holder) {
                delete holder->m_pEncoding;
                holder->m_pEncoding = attr->m_pValue;
                attr->m_pValue = nullptr;
            }
        }
        FreeAttribute(attr);
    }
}

XmlElement* CXml::ParseElement(XmlCursor& cursor, int depth)
{
    if (AtEnd(cursor))
        return nullptr;
    if (depth >= kMaxDepth) {
        Trace(L"XML parse error (%d)\n", cursor.m_nPos);
        ++m_nErrors;
        cursor.m_nPos = cursor.m_nLength;
        return nullptr;
    }
    XmlElement* element = new (std::nothrow) XmlElement();
    if (!element)
        return nullptr;

    // Comments before the element.
    while (true) {
        SkipSpace(cursor);
        if (Peek(cursor) != '<') {
            FreeElement(element);
            return nullptr;
        }
        if (cursor.m_nLength - cursor.m_nPos >= 5 && StartsWith(cursor, cursor.m_nPos, "<!--")) {
            cursor.m_nPos += 4;
            bool closed = false;
            while (cursor.m_nPos < cursor.m_nLength) {
                if (cursor.m_pData[cursor.m_nPos] == '-' && StartsWith(cursor, cursor.m_nPos, "-->")) {
                    cursor.m_nPos += 3;
                    closed = true;
                    break;
                }
                ++cursor.m_nPos;
            }
            if (!closed) {
                FreeElement(element);
                return nullptr;
            }
            continue;
        }
        break;
    }

    ++cursor.m_nPos;  // '<'
    const int nameStart = cursor.m_nPos;
    element->m_pName = ParseName(cursor);
    if (!element->m_pName) {
        FreeElement(element);
        return nullptr;
    }
    const int nameLength = cursor.m_nPos - nameStart;

    if (IsSpace(Peek(cursor))) {
        SkipSpace(cursor);
    } else if (Peek(cursor) != '/' && Peek(cursor) != '>') {
        FreeElement(element);
        return nullptr;
    }

    // Attributes, each linked after the last: no walk of the list per attribute.
    XmlAttribute** attrLink = &element->m_pAttr;
    while (true) {
        if (StartsWith(cursor, cursor.m_nPos, "/>")) {
            cursor.m_nPos += 2;
            return element;
        }
        if (Peek(cursor) == '>') {
            ++cursor.m_nPos;
            break;
        }
        if (AtEnd(cursor))
            break;
        XmlAttribute* attr = ParseAttribute(cursor, attrLink);
        if (!attr) {
            FreeElement(element);
            return nullptr;
        }
        attrLink = &attr->m_pNext;
        SkipSpace(cursor);
    }

    // Content.
    XmlElement* lastChild = nullptr;
    while (true) {
        const int passStart = cursor.m_nPos;
        SkipSpace(cursor);
        if (AtEnd(cursor)) {
            Trace(L"XML parse error (%d)\n", cursor.m_nPos);
            ++m_nErrors;
            return element;
        }
        if (Peek(cursor) != '<') {
            CString* text = ParseText(cursor, 0);
            if (text) {
                delete element->m_pText;
                element->m_pText = text;
            }
        } else if (StartsWith(cursor, cursor.m_nPos, "</")) {
            cursor.m_nPos += 2;
            if (cursor.m_nLength - cursor.m_nPos < nameLength ||
                memcmp(cursor.m_pData + cursor.m_nPos, cursor.m_pData + nameStart,
                       static_cast<size_t>(nameLength)) != 0) {
                // A closing tag that is not ours: the rest of the document is dropped.
                cursor.m_nPos = cursor.m_nLength;
                FreeElement(element);
                return nullptr;
            }
            cursor.m_nPos += nameLength;
            SkipSpace(cursor);
            if (Peek(cursor) == '>') {
                ++cursor.m_nPos;
                return element;
            }
        } else {
            XmlElement* child = ParseElement(cursor, depth + 1);
            if (!child) {
                ++m_nErrors;
            } else {
                if (lastChild)
                    lastChild->m_pNext = child;
                else
                    element->m_pChild = child;
                lastChild = child;
            }
        }
        if (cursor.m_nPos == passStart) {
            Trace(L"XML parse error (%d)\n", cursor.m_nPos);
            ++m_nErrors;
            return element;
        }
    }
}

XmlElement* CXml::LoadDocument(const char* data, int length)
{
    if (!data || length <= 0)
        return nullptr;
    XmlCursor cursor = {data, length, 0};
    m_nErrors = 0;
    XmlElement holder = {};
    if (!ParseDeclaration(cursor, &holder)) {
        delete holder.m_pEncoding;
        return nullptr;
    }
    XmlElement* first = ParseElement(cursor);
    if (!first) {
        delete holder.m_pEncoding;
        return nullptr;
    }
    first->m_pEncoding = holder.m_pEncoding;
    XmlElement* last = first;
    while (true) {
        SkipSpace(cursor);
        if (AtEnd(cursor))
            break;
        XmlElement* next = ParseElement(cursor);
        if (!next) {
            ++m_nErrors;  // a damaged element or text after the last one
            break;
        }
        last->m_pNext = next;
        last = next;
    }
    return first;
}

XmlElement* CXml::FindSibling(XmlElement* first, const wchar_t* name)
{
    for (XmlElement* e = first; e; e = e->m_pNext) {
        if (e->m_pName && e->m_pName->Equals(name))
            return e;
    }
    return nullptr;
}

XmlElement* CXml::FindChild(XmlElement* parent, const wchar_t* name)
{
    return parent ? FindSibling(parent->m_pChild, name) : nullptr;
}

XmlElement* CXml::FindNext(XmlElement* element)
{
    if (!element || !element->m_pName)
        return nullptr;
    for (XmlElement* e = element->m_pNext; e; e = e->m_pNext) {
        if (e->m_pName && e->m_pName->m_nLength == element->m_pName->m_nLength &&
            memcmp(e->m_pName->GetBytes(), element->m_pName->GetBytes(),
                   static_cast<size_t>(element->m_pName->m_nLength)) == 0)
            return e;
    }
    return nullptr;
}

const wchar_t* CXml::GetText(XmlElement* element)
{
    if (!element || !element->m_pText)
        return L"";
    const wchar_t* text = element->m_pText->GetWide();
    return text ? text : L"";
}

int CXml::GetInt(XmlElement* element, int defaultValue)
{
    const wchar_t* p = GetText(element);
    if (!*p)
        return defaultValue;
    while (*p == L' ' || *p == L'\t')
        ++p;
    bool negative = false;
    if (*p == L'-') {
        negative = true;
        ++p;
    }
    unsigned value = 0;
    for (; *p; ++p) {
        if (*p < L'0' || *p > L'9')
            return defaultValue;
        value = value * 10u + static_cast<unsigned>(*p - L'0');
    }
    return static_cast<int>(negative ? 0u - value : value);
}

void CXml::FreeElements(XmlElement* first)
{
    while (first) {
        XmlElement* next = first->m_pNext;
        for (XmlAttribute* a = first->m_pAttr; a;) {
            XmlAttribute* an = a->m_pNext;
            FreeAttribute(a);
            a = an;
        }
        FreeElements(first->m_pChild);
        delete first->m_pName;
        delete first->m_pText;
        delete first->m_pEncoding;
        delete first;
        first = next;
    }
}
