/* Run-time loading on Linux and other POSIX systems. */
#include <dlfcn.h>
#include <stddef.h>

#include "loader.h"

/* The soname: what the loader matches, wherever the library lies. */
const char* LibraryFileName(void) { return "libVeltrixCore.so.1"; }

void* LoadByName(const char* file) { return dlopen(file, RTLD_NOW | RTLD_LOCAL); }

void* SymbolByName(void* library, const char* name) { return dlsym(library, name); }

void* SymbolByOrdinal(void* library, int ordinal) {
  (void)library;
  (void)ordinal;
  return NULL;
}

const char* LoaderError(void) {
  const char* text = dlerror();
  return text ? text : "?";
}

void Unload(void* library) { dlclose(library); }
