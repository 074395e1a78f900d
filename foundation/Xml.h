// The element tree of the configuration file, its reader and its writer.
// The reader accepts the subset the writer produces (and hand edits of it):
// one declaration, elements with attributes, character data with the five
// entities, and comments before elements.
#pragma once

#include "foundation/Object.h"
#include "foundation/String.h"

struct XmlAttribute {
    XmlAttribute* m_pNext;
    CString* m_pName;
    CString* m_pValue;  // null when the value was empty or unreadable
};

struct XmlElement {
    XmlElement* m_pNext;
    XmlElement* m_pChild;
    XmlAttribute* m_pAttr;
    CString* m_pName;
    CString* m_pText;      // null when the element has no character data
    CString* m_pEncoding;  // the declaration's encoding; first top-level element only
};

struct XmlCursor {
    const char* m_pData;
    int m_nLength;
    int m_nPos;
};

class CXml : public CObject {
public:
    // Nesting beyond this depth is treated as a broken document: hostile
    // input must not exhaust the stack.
    static constexpr int kMaxDepth = 256;

    CXml() : m_CodePage(65001), m_nErrors(0) {}

    // Reading.
    int ParseDeclaration(XmlCursor& cursor, XmlElement* holder);
    XmlElement* ParseElement(XmlCursor& cursor, int depth = 0);
    // Hangs the attribute at link, when given.
    XmlAttribute* ParseAttribute(XmlCursor& cursor, XmlAttribute** link);
    CString* ParseName(XmlCursor& cursor);
    CString* ParseText(XmlCursor& cursor, char quote);
    // Declaration plus every top-level element; null when the document is rejected.
    XmlElement* LoadDocument(const char* data, int length);

    // Lookups.
    static XmlElement* FindChild(XmlElement* parent, const wchar_t* name);
    static XmlElement* FindSibling(XmlElement* first, const wchar_t* name);
    static XmlElement* FindNext(XmlElement* element);  // next sibling of the same name
    static const wchar_t* GetText(XmlElement* element);
    static int GetInt(XmlElement* element, int defaultValue);
    static void FreeElements(XmlElement* first);

    // Writing.
    static XmlElement* CreateElement(const wchar_t* name, const wchar_t* text);
    static void AppendChild(XmlElement* parent, XmlElement* child);
    // Appends child after last (a child of parent, or null); returns child, or last when child is null.
    static XmlElement* AppendAfter(XmlElement* parent, XmlElement* last, XmlElement* child);
    char* Write(XmlElement* first);

    unsigned m_CodePage;
    // Damage the lenient reader passed over in the last document: unclosed
    // or malformed elements, text past the last element.
    int m_nErrors;
    bool IsComplete() const { return m_nErrors == 0; }

private:
    CString* MakeString(const char* bytes, int count);
};
