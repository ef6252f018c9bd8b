// The command-line parser: fills the options record from the argument text.
#pragma once

#include "core/CopyRec.h"
#include "platform/Platform.h"

namespace vx {

// Fills options from the argument text and the mask lists from the mask
// switches. Returns false for a refused command line (the host exits with
// 5). Raises EConversion for a value that does not convert, ELongueur for a
// text that does not fit, EFOpen for a list file that cannot be read (list
// files and the current folder come from fs).
bool FillCopyRecFrom(FileSystem& fs, CopyRec& options, const char* arguments);

}  // namespace vx
