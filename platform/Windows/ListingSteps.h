// The Win32 listing's step to the next entry, replaceable so that a test can
// make a listing fail part-way, which no file system under test will do.
#pragma once

#include <windows.h>

namespace vx::win {

using FindNextStep = BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAW);
// ::FindNextFileW unless a test put another step here.
extern FindNextStep findNextFile;

}  // namespace vx::win
