// Folders the program writes into: made on demand, parents and all.
#pragma once

// True when path names a folder that exists now, made if it did not.
bool MakeFolder(const wchar_t* path);
// Bytes free to the user on the volume of a folder (or of the folder a
// file path ends in); ~0 when the system cannot say.
unsigned long long FreeBytesAt(const wchar_t* path);
// The user's Music folder into buffer (MAX_PATH units); false when the
// system has none.
bool GetMusicFolder(wchar_t* buffer);
