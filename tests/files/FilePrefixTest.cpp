#include "files/FilePrefix.h"
#include "foundation/Messages.h"
#include "support/ProgramFixtures.h"
#include "support/TestSupport.h"

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
// user's choice and stays as it is. Long titles are shortened at a character
// boundary, never inside a surrogate pair, so that the numbered name fits one
// path component (255) and the whole path MAX_PATH, with room for numbers
// past 999 and the longest extension ("_1000.flac").
TEST(FilePrefix, FolderTitleAndScheduledStart)
{
    std::wstring emoji, kana(255, L'あ');
    for (int i = 0; i < 200; ++i)
        emoji += L"🎵";
    struct Case {
        std::wstring folder, title;
        const wchar_t* prefix;  // null: the bounds only
    } cases[] = {
        {L"D:\\Rec", L"News", L"D:\\Rec\\News_202503070630"},
        {L"", L"", L"\\_202503070630"},
        {L"D:\\Rec", L"ニュース 🎵", L"D:\\Rec\\ニュース 🎵_202503070630"},
        {L"D:\\Rec", L"a\\b/c:d*e?f\"g<h>i|j\tk\x01l\x7fm", L"D:\\Rec\\a_b_c_d_e_f_g_h_i_j_k_l_m_202503070630"},
        {L"D:\\Rec", L"..\\..\\..\\Windows\\System32\\x", L"D:\\Rec\\.._.._.._Windows_System32_x_202503070630"},
        {L"\\\\server\\share\\rec", L"x", L"\\\\server\\share\\rec\\x_202503070630"},
        {L"D:\\Rec", kana, nullptr},
        {L"C:\\" + std::wstring(200, L'f'), kana, nullptr},
        {L"D:\\Rec", emoji, nullptr},
        {L"D:\\Recx", emoji, nullptr},
        {L"D:\\Recxx", emoji, nullptr},
        {L"D:\\Recxxx", emoji, nullptr},
    };
    for (const Case& c : cases) {
        std::wstring prefix = Prefix(c.folder, c.title);
        SCOPED_TRACE(Narrow(prefix));
        if (c.prefix) {
            EXPECT_EQ(prefix, c.prefix);
        }
        EXPECT_LE(prefix.size() - prefix.find_last_of(L'\\') - 1 + 10, 255u);
        EXPECT_LE(prefix.size() + 10, static_cast<size_t>(MAX_PATH - 1));
        ASSERT_GE(prefix.size(), 14u);
        EXPECT_EQ(prefix.substr(prefix.size() - 13), L"_202503070630");
        wchar_t last = prefix[prefix.size() - 14];
        EXPECT_FALSE(last >= 0xD800 && last <= 0xDBFF);
    }

    // A folder of 519 characters (the setting's limit): the block is never overrun.
    std::wstring huge(519, L'd');
    wchar_t block[kFilePrefixSize + 8];
    wmemset(block, L'#', kFilePrefixSize + 8);
    BuildFilePrefix(block, kFilePrefixSize, huge.c_str(), L"x", At(2025, 3, 7, 6, 30));
    EXPECT_EQ(block[kFilePrefixSize], L'#');
    EXPECT_EQ(std::wstring(block).size(), static_cast<size_t>(kFilePrefixSize - 1));
}

// A recording's name read back: title and stamp for "<title>_YYYYMMDDhhmm_NNN"
// with .wav, .flac or .opus, a stream's .mp3, .aac, .ogg or its sheet's .cue,
// in any case; any other name is not a recording.
TEST(FilePrefix, RecordingNamesAreReadBack)
{
    struct Case {
        const wchar_t* path;
        const wchar_t* title;  // null: not a recording's name
        const wchar_t* stamp;
    } cases[] = {
        {L"D:\\Rec\\News_202503070630_000.wav", L"News", L"202503070630"},
        {L"D:\\Rec\\a_b_202503070630_1000.FLAC", L"a_b", L"202503070630"},
        {L"News_202503070630_002.opus", L"News", L"202503070630"},
        {L"D:\\Rec\\News_202503070630_00.wav", nullptr, nullptr},
        {L"D:\\Rec\\News_20250307063_000.wav", nullptr, nullptr},
        {L"D:\\Rec\\_202503070630_000.wav", nullptr, nullptr},
        {L"D:\\Rec\\News_202503070630_000.mp3", L"News", L"202503070630"},
        {L"D:\\Rec\\News_202503070630_001.AAC", L"News", L"202503070630"},
        {L"Radio_202503070630_002.ogg", L"Radio", L"202503070630"},
        {L"Radio_202503070630_000.cue", L"Radio", L"202503070630"},
        {L"D:\\Rec\\News_202503070630_000.m4a", nullptr, nullptr},
        {L"D:\\Rec\\News_2025030706x0_000.wav", nullptr, nullptr},
        {L"D:\\Rec\\News_202503070630_000.wav.txt", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        RecordingPath path(c.path, wcslen(c.path));
        EXPECT_EQ(path.title, c.title ? c.title : std::wstring(c.path).substr(std::wstring(c.path).rfind(L'\\') + 1))
            << Narrow(c.path);
        EXPECT_EQ(path.stamp, c.stamp ? c.stamp : L"") << Narrow(c.path);
    }
    // The title as files carry it is the one the prefix gets.
    EXPECT_EQ(FileTitle(L"D:\\Rec", L"a:b", kFilePrefixSize), L"a_b");
}
