#include "app/Messages.h"
#include "scheduler/FilePrefix.h"
#include "support/ProgramFixtures.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::wstring Prefix(const std::wstring& folder, const std::wstring& title)
{
    wchar_t block[kFilePrefixSize];
    BuildFilePrefix(block, kFilePrefixSize, folder.c_str(), title.c_str(), At(2025, 3, 7, 6, 30));
    return block;
}

}  // namespace

// Folder, title and scheduled start; characters no file name holds become
// underscores, so nothing climbs out of the folder; the folder itself is the
// user's choice and stays as it is.
TEST(FilePrefix, FolderTitleAndScheduledStart)
{
    struct Case {
        const wchar_t *folder, *title, *prefix;
    } cases[] = {
        {L"D:\\Rec", L"News", L"D:\\Rec\\News_202503070630"},
        {L"", L"", L"\\_202503070630"},
        {L"D:\\Rec", L"ニュース 🎵", L"D:\\Rec\\ニュース 🎵_202503070630"},
        {L"D:\\Rec", L"a\\b/c:d*e?f\"g<h>i|j\tk\x01l\x7fm", L"D:\\Rec\\a_b_c_d_e_f_g_h_i_j_k_l_m_202503070630"},
        {L"D:\\Rec", L"..\\..\\..\\Windows\\System32\\x", L"D:\\Rec\\.._.._.._Windows_System32_x_202503070630"},
        {L"\\\\server\\share\\rec", L"x", L"\\\\server\\share\\rec\\x_202503070630"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Prefix(c.folder, c.title), c.prefix);
}

TEST(FilePrefix, LongTitlesAreShortenedAtACharacterBoundary)
{
    // A 255-character title: the numbered name must still fit one path
    // component (255) with room for numbers past 999.
    std::wstring title(255, L'あ');
    std::wstring prefix = Prefix(L"D:\\Rec", title);
    std::wstring name = prefix.substr(7);
    EXPECT_LE(name.size() + 9, 255u);
    EXPECT_EQ(name.substr(name.size() - 13), L"_202503070630");

    // A deep folder: the whole numbered path stays below MAX_PATH.
    std::wstring folder = L"C:\\" + std::wstring(200, L'f');
    prefix = Prefix(folder, title);
    EXPECT_LE(prefix.size() + 9, static_cast<size_t>(MAX_PATH - 1));
    EXPECT_EQ(prefix.substr(prefix.size() - 13), L"_202503070630");

    // Surrogate pairs are never split.
    std::wstring emoji;
    for (int i = 0; i < 200; ++i)
        emoji += L"🎵";
    for (size_t extra = 0; extra < 4; ++extra) {
        prefix = Prefix(L"D:\\Rec" + std::wstring(extra, L'x'), emoji);
        std::wstring t = prefix.substr(0, prefix.size() - 13);
        wchar_t last = t.back();
        EXPECT_FALSE(last >= 0xD800 && last <= 0xDBFF) << extra;
        EXPECT_EQ(prefix.substr(prefix.size() - 13), L"_202503070630");
    }

    // A folder of 519 characters (the setting's limit): the block is never overrun.
    std::wstring huge(519, L'd');
    wchar_t block[kFilePrefixSize + 8];
    for (auto& c : block)
        c = L'#';
    BuildFilePrefix(block, kFilePrefixSize, huge.c_str(), L"x", At(2025, 3, 7, 6, 30));
    EXPECT_EQ(block[kFilePrefixSize], L'#');
    EXPECT_EQ(std::wstring(block).size(), static_cast<size_t>(kFilePrefixSize - 1));
}
