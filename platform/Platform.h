// The thin layer that stands in for the operating system. The engine reaches
// files, time, locale and the process only through here; posix/ and win32/
// hold the two backends, one file per concept. It is linked into the library alone:
// the console program has its own narrow interface, platform/Host.h.
//
// One convention for every call here. A call that can fail returns a
// std::error_code (empty on success) or an ErrorOr<T> holding either the T
// or the error; the error carries the system's own code (errno on Linux,
// GetLastError on Windows) in SystemCategory(), whose message() is the
// system's text for it, or a portable std::errc where the system gave no
// code (a text that is no date). A call without either cannot fail. No
// call raises: the one exception type, VeltrixError (core/Error.h) with its
// French message, is the engine's, for what no caller expects.
#pragma once

#include "platform/Entries.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Results.h"
#include "platform/System.h"
