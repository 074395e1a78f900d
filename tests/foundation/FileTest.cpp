#include "foundation/File.h"
#include "foundation/FileName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <string>

static std::string Text(CString& s)
{
    return s.m_pBuffer ? std::string(s.m_pBuffer, static_cast<size_t>(s.m_nLength)) : std::string("<unset>");
}

TEST(CFile, OpenFailsWhileAFileIsOpen)
{
    TempDir dir;
    std::wstring a = dir.File(L"a.bin"), b = dir.File(L"b.bin");
    ASSERT_TRUE(WriteBytes(b, "other"));
    CFile f;
    ASSERT_EQ(f.CreateForWrite(a.c_str(), 0), 0);
    EXPECT_EQ(f.CreateForWrite(b.c_str(), 1), -1);
    EXPECT_FALSE(f.OpenForRead(b.c_str()));
    EXPECT_EQ(f.Write("abc", 3), 3u);
    f.Close();
    EXPECT_EQ(ReadBytes(a), "abc");
    EXPECT_EQ(ReadBytes(b), "other");
    EXPECT_EQ(f.CreateForWrite(L"", 1), -1);
    EXPECT_FALSE(f.OpenForRead(nullptr));
}

TEST(CFile, CreateNeverOverwritesUnlessAsked)
{
    TempDir dir;
    std::wstring path = dir.File(L"keep.wav");
    ASSERT_TRUE(WriteBytes(path, "precious"));
    CFile f;
    EXPECT_EQ(f.CreateForWrite(path.c_str(), 0), -2);
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(ReadBytes(path), "precious");
    EXPECT_EQ(f.CreateForWrite(path.c_str(), 1), 0);
    f.Close();
    EXPECT_EQ(ReadBytes(path), "");
}

TEST(CFile, PositionedWritesKeepTheSizeCounter)
{
    TempDir dir;
    std::wstring path = dir.File(L"f.bin");
    CFile f;
    ASSERT_EQ(f.CreateForWrite(path.c_str(), 1), 0);
    EXPECT_EQ(f.Write("0123456789", 10, 0), 10u);
    EXPECT_EQ(f.Write("abcde", 5), 5u);
    EXPECT_EQ(f.GetSize(), 15u);
    // A header rewrite in place returns to the end afterwards.
    EXPECT_EQ(f.Write("XY", 2, 4), 2u);
    EXPECT_EQ(f.GetSize(), 15u);
    EXPECT_EQ(f.Write("!", 1), 1u);
    EXPECT_EQ(f.GetSize(), 16u);
    EXPECT_TRUE(f.Flush());
    f.Close();
    EXPECT_EQ(ReadBytes(path), "0123XY6789abcde!");
}

TEST(CFile, ReadSeekAndEndOfFile)
{
    TempDir dir;
    std::wstring empty = dir.File(L"empty"), full = dir.File(L"full");
    ASSERT_TRUE(WriteBytes(empty, ""));
    ASSERT_TRUE(WriteBytes(full, "hello world"));
    CFile e;
    ASSERT_TRUE(e.OpenForRead(empty.c_str()));
    EXPECT_TRUE(e.IsEOF());
    CFile f;
    ASSERT_TRUE(f.OpenForRead(full.c_str()));
    EXPECT_EQ(f.GetSize(), 11u);
    EXPECT_FALSE(f.IsEOF());
    char buffer[16] = {};
    EXPECT_EQ(f.Read(buffer, 5, 6), 5u);
    EXPECT_EQ(std::string(buffer, 5), "world");
    EXPECT_TRUE(f.IsEOF());
    EXPECT_EQ(f.Read(buffer, 5, 0), 5u);
    EXPECT_EQ(std::string(buffer, 5), "hello");
}

TEST(CFile, ClosedObjectDoesNothing)
{
    CFile f;
    char buffer[4];
    EXPECT_EQ(f.Read(buffer, 4), 0u);
    EXPECT_EQ(f.Write("x", 1), 0u);
    EXPECT_FALSE(f.Seek(0));
    EXPECT_FALSE(f.Flush());
    EXPECT_TRUE(f.IsEOF());
    EXPECT_FALSE(f.OpenForRead(L"Z:\\no\\such\\file"));
}

TEST(CFileName, SplitsAFullPath)
{
    CFileName n;
    ASSERT_TRUE(n.Split("C:\\App\\bin\\tool.exe"));
    EXPECT_EQ(Text(n.m_Folder), "C:\\App\\bin");
    EXPECT_EQ(Text(n.m_FileName), "tool.exe");
    EXPECT_EQ(Text(n.m_Title), "tool");
    EXPECT_EQ(Text(n.m_Extension), "exe");
    EXPECT_EQ(n.m_FileStart, 11);
    EXPECT_EQ(n.m_ExtStart, 16);
}

TEST(CFileName, PlainNameAndDotFiles)
{
    CFileName plain;
    plain.Split("readme");
    EXPECT_EQ(Text(plain.m_Folder), "<unset>");
    EXPECT_EQ(Text(plain.m_Extension), "<unset>");
    EXPECT_EQ(Text(plain.m_Title), "readme");
    EXPECT_EQ(plain.m_FileStart, 0);
    EXPECT_EQ(plain.m_ExtStart, -1);

    CFileName dot;
    dot.Split("dir\\.profile");
    EXPECT_EQ(Text(dot.m_Folder), "dir");
    EXPECT_EQ(Text(dot.m_FileName), ".profile");
    EXPECT_EQ(Text(dot.m_Title), "");
    EXPECT_EQ(Text(dot.m_Extension), "<unset>");
    EXPECT_EQ(dot.m_FileStart, 4);
    EXPECT_EQ(dot.m_ExtStart, 5);

    CFileName root;
    root.Split("\\file.txt");
    EXPECT_EQ(Text(root.m_Folder), "<unset>");
    EXPECT_EQ(Text(root.m_FileName), "<unset>");
    EXPECT_EQ(Text(root.m_Title), "file");
    EXPECT_EQ(Text(root.m_Extension), "txt");
    EXPECT_EQ(root.m_FileStart, 1);
    EXPECT_EQ(root.m_ExtStart, 6);

    CFileName none;
    EXPECT_FALSE(none.Split(nullptr));
    // Forward slashes separate too; a dot in a folder name is forgotten.
    CFileName slash;
    slash.Split("a.b/c");
    EXPECT_EQ(Text(slash.m_Folder), "a.b");
    EXPECT_EQ(Text(slash.m_Title), "c");
    EXPECT_EQ(slash.m_ExtStart, -1);
}
