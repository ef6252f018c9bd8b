/* Loading a library at run time: dlopen on Linux, LoadLibrary on Windows
 * (loader_posix.c, loader_win32.c; the build picks one). */
#ifndef VELTRIX_EXAMPLE_LOADER_H
#define VELTRIX_EXAMPLE_LOADER_H

/* The library's file name as a host asks the system's loader for it. */
const char* LibraryFileName(void);
/* NULL when it cannot be loaded; LoaderError() then says why. */
void* LoadByName(const char* file);
void* SymbolByName(void* library, const char* name);
/* NULL where the system knows no ordinals (Linux). */
void* SymbolByOrdinal(void* library, int ordinal);
const char* LoaderError(void);
void Unload(void* library);

#endif
