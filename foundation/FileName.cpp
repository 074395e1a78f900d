#include "foundation/FileName.h"

#include <cstring>

CFileName::CFileName() : m_FileStart(-1), m_ExtStart(-1) {}

static int SkipBlanks(const char* path, int from, int n)
{
    while (from < n && (path[from] == ' ' || path[from] == '\t'))
        ++from;
    return from < n ? from : -1;
}

bool CFileName::Split(const char* path)
{
    if (!path)
        return false;
    int n = static_cast<int>(strlen(path));
    m_FullPath.AssignBytes(path, n);

    int sep = -1, dot = -1;
    for (int i = 0; i < n; ++i) {
        if (path[i] == '.') {
            dot = i + 1;
        } else if (path[i] == '\\' || path[i] == '/') {
            sep = i + 1;
            dot = -1;
        }
    }
    if (n == 0 || sep < 0)
        sep = 0;

    if (sep > 1) {
        m_Folder.AssignBytes(path, sep - 1);
        if (sep < n)
            m_FileName.AssignBytes(path + sep, n - sep);
    }
    int titleLength;
    if (dot > 0) {
        if (dot - sep > 1 && dot < n)
            m_Extension.AssignBytes(path + dot, n - dot);
        titleLength = dot - sep - 1;
        if (titleLength < 0)
            titleLength = 0;
    } else {
        titleLength = n - sep;
    }
    if (sep < n) {
        if (titleLength > 0) {
            m_Title.AssignBytes(path + sep, titleLength);
        } else {
            m_Title.Clear();
            m_Title.Grow(0);  // set, but empty
        }
    }
    m_Folder.Trim();
    m_FileName.Trim();
    m_Title.Trim();
    m_Extension.Trim();

    m_FileStart = SkipBlanks(path, sep, n);
    m_ExtStart = dot < 0 ? -1 : SkipBlanks(path, dot, n);
    return true;
}
