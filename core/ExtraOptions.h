// The options of the whole-word switches that have no field in CopyRec: the
// record's layout is fixed, so the parser keeps them beside the mask lists
// and the session receives them with the record.
#pragma once

#include <cstdint>

namespace vx {

struct ExtraOptions {
  bool keepOwner = false;   // -OWNER
  bool copyXattrs = false;  // -XATTR
  bool hardLinks = false;   // -HARDLINKS
  int32_t threads = 0;      // -THREADS:n; 0 when not given (the program's choice)
  bool strict = false;      // -STRICT
};

// The range of -THREADS:n and of VeltrixHost::Threads.
constexpr int32_t kMaxThreads = 64;
// The threads without -THREADS: on storage that waits in every call, files
// in flight hide the waits; on a local disk they cost next to nothing.
constexpr int32_t kDefaultThreads = 8;

}  // namespace vx
