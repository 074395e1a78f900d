// The path splitter behind the configuration's file names; the file class
// itself is exercised by every configuration and WAV file test.
#include "foundation/FileName.h"

#include <gtest/gtest.h>
#include <string>

TEST(CFileName, SplitsPathsOfEveryShape)
{
    struct Case {
        const char* path;
        const char *folder, *name, *title, *extension;  // null: unset
        int fileStart, extStart;
    } cases[] = {
        {"C:\\App\\bin\\tool.exe", "C:\\App\\bin", "tool.exe", "tool", "exe", 11, 16},
        {"readme", nullptr, nullptr, "readme", nullptr, 0, -1},
        {"dir\\.profile", "dir", ".profile", "", nullptr, 4, 5},
        {"\\file.txt", nullptr, nullptr, "file", "txt", 1, 6},
        {"a.b/c", "a.b", nullptr, "c", nullptr, 4, -1},  // a dot in a folder is forgotten
    };
    auto text = [](CString& s) { return s.m_pBuffer ? std::string(s.m_pBuffer, s.m_nLength) : std::string("<unset>"); };
    for (const Case& c : cases) {
        CFileName n;
        ASSERT_TRUE(n.Split(c.path));
        EXPECT_EQ(text(n.m_Folder), c.folder ? c.folder : "<unset>") << c.path;
        if (c.name)
            EXPECT_EQ(text(n.m_FileName), c.name) << c.path;
        EXPECT_EQ(text(n.m_Title), c.title) << c.path;
        EXPECT_EQ(text(n.m_Extension), c.extension ? c.extension : "<unset>") << c.path;
        EXPECT_EQ(n.m_FileStart, c.fileStart) << c.path;
        EXPECT_EQ(n.m_ExtStart, c.extStart) << c.path;
    }
    CFileName none;
    EXPECT_FALSE(none.Split(nullptr));
}
