/* Run-time loading on Windows. */
#include <windows.h>

#include <stdio.h>

#include "loader.h"

const char* LibraryFileName(void) { return "VeltrixCore.dll"; }

void* LoadByName(const char* file) { return (void*)LoadLibraryA(file); }

/* GetProcAddress returns a function pointer; the host casts it back to the
 * type the header gives. */
void* SymbolByName(void* library, const char* name) {
  return (void*)GetProcAddress((HMODULE)library, name);
}

void* SymbolByOrdinal(void* library, int ordinal) {
  return (void*)GetProcAddress((HMODULE)library, MAKEINTRESOURCEA(ordinal));
}

const char* LoaderError(void) {
  static char text[32];
  snprintf(text, sizeof text, "erreur %lu", (unsigned long)GetLastError());
  return text;
}

void Unload(void* library) { FreeLibrary((HMODULE)library); }
