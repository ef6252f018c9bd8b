// The Win32 listing's read of a held folder's next entries, replaceable so
// that a test can make a listing fail part-way, which no file system under
// test will do.
#pragma once

#include <windows.h>

namespace vx::win {

using ReadFolderStep = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
// ::GetFileInformationByHandleEx unless a test put another step here.
extern ReadFolderStep readFolder;

}  // namespace vx::win
