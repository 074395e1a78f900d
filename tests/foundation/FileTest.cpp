#include "foundation/File.h"
#include "foundation/FileName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <string>

TEST(CFile, WritesNeverOverwriteUnlessAskedAndKeepTheSizeCounter)
{
    TempDir dir;
    std::wstring path = dir.File(L"f.bin"), keep = dir.File(L"keep.wav");
    ASSERT_TRUE(WriteBytes(keep, "precious"));
    CFile f;
    EXPECT_EQ(f.CreateForWrite(keep.c_str(), 0), -2);
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.CreateForWrite(L"", 1), -1);
    ASSERT_EQ(f.CreateForWrite(path.c_str(), 1), 0);
    EXPECT_EQ(f.CreateForWrite(keep.c_str(), 1), -1);  // one file at a time
    EXPECT_EQ(f.Write("0123456789", 10, 0), 10u);
    EXPECT_EQ(f.Write("abcde", 5), 5u);
    // A header rewrite in place returns to the end afterwards.
    EXPECT_EQ(f.Write("XY", 2, 4), 2u);
    EXPECT_EQ(f.GetSize(), 15u);
    EXPECT_EQ(f.Write("!", 1), 1u);
    EXPECT_EQ(f.GetSize(), 16u);
    EXPECT_TRUE(f.Flush());
    f.Close();
    EXPECT_EQ(ReadBytes(path), "0123XY6789abcde!");
    EXPECT_EQ(ReadBytes(keep), "precious");
    EXPECT_EQ(f.CreateForWrite(keep.c_str(), 1), 0);
    f.Close();
    EXPECT_EQ(ReadBytes(keep), "");
}

TEST(CFile, ReadsAndAClosedObjectDoesNothing)
{
    TempDir dir;
    std::wstring full = dir.File(L"full");
    ASSERT_TRUE(WriteBytes(full, "hello world"));
    CFile f;
    ASSERT_TRUE(f.OpenForRead(full.c_str()));
    EXPECT_EQ(f.GetSize(), 11u);
    char buffer[16] = {};
    EXPECT_EQ(f.Read(buffer, 5, 6), 5u);
    EXPECT_EQ(std::string(buffer, 5), "world");
    EXPECT_TRUE(f.IsEOF());
    EXPECT_EQ(f.Read(buffer, 5, 0), 5u);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    CFile closed;
    EXPECT_EQ(closed.Read(buffer, 4), 0u);
    EXPECT_EQ(closed.Write("x", 1), 0u);
    EXPECT_FALSE(closed.Flush());
    EXPECT_FALSE(closed.OpenForRead(L"Z:\\no\\such\\file"));
    EXPECT_FALSE(closed.OpenForRead(nullptr));
}

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
