// A .pls or plain .m3u playlist a station's address may lead to: the first
// stream address in it, made whole against the playlist's own address.
#pragma once

#include <cstddef>
#include <string>

class CPlaylist {
public:
    // Playlists are small; a longer answer is no playlist.
    static constexpr size_t kMaxBytes = 65536;

    // pls: "[playlist]" with FileN= lines (the lowest N); else M3U, the
    // first line that is no comment. Empty when it names no address.
    static std::wstring FirstAddress(const char* text, size_t size, bool pls, const std::wstring& base);
    // By the address's end, for a server that sends a playlist as something else.
    static bool NamedLikeOne(const std::wstring& address);
};
