// The command-line parser: fills the options record from the argument text.
#pragma once

#include <string>

#include "core/CopyRec.h"
#include "core/EntryList.h"
#include "platform/Platform.h"

namespace vx {

// Fills options from the argument text, parsed's mask lists from the mask
// switches and its extras from the whole-word switches the record has no
// field for. Returns false for a refused command line (the host exits with
// 5), with its French reason in *refusal where given; a refusal leaves
// parsed as it was. Raises EConversion for a
// value that does not convert, ELongueur for a text that does not fit,
// EFOpen for a list file that cannot be read (list files and the current
// folder come from fs).
bool FillCopyRecFrom(FileSystem& fs, ParsedState& parsed, CopyRec& options, const char* arguments,
                     std::string* refusal = nullptr);

}  // namespace vx
