// FillCopyRec on arbitrary argument text: it returns or raises a VeltrixError,
// writes nothing outside the record, leaves every text field terminated and
// fills a mask list exactly when its switch was stored.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/Error.h"
#include "core/HolyCoreUnit.h"
#include "fuzz/FuzzFiles.h"

namespace {

using vx::fuzz::Check;

struct GuardedRecord {
  unsigned char before[64];
  vx::CopyRec rec;
  unsigned char after[64];
};

constexpr unsigned char kGuard = 0xA5;

vx::fuzz::TableFiles& Lists() {
  static vx::fuzz::TableFiles* files = [] {
    auto* table = new vx::fuzz::TableFiles;
    table->files["masques.txt"] = "*.TMP\r\n*.bak\n\n~*\r";
    table->files["MASQUES.TXT"] = "*.TMP\r\n*.BAK";
    table->files["vide.txt"] = "";
    table->files["bom.txt"] = "\xEF\xBB\xBF*.LOG\r\n";
    table->files[" espace.txt"] = "A;B\r\nfile:masques.txt";
    return table;
  }();
  return *files;
}

void SetUpEnvironment() {
  setenv("VXCOURT", "/court", 1);
  setenv("VXLONG", std::string(1000, 'L').c_str(), 1);  // two of them pass the 1023 limit
  setenv("VXPOINTVIRGULE", "a;b;file:masques.txt", 1);
}

bool Terminated(const char* field) { return std::memchr(field, 0, vx::kTextFieldSize) != nullptr; }

bool HasListEntry(const std::string& text) {
  return vx::UpperAscii(text).find("FILE:") != std::string::npos;
}

// Without list files, every ";" of the stored masks gives one more entry.
void CheckMasks(uint8_t hasMasks, const char* field, const vx::EntryList& list) {
  if (!hasMasks) {
    Check(list.empty(), "a mask list was filled without its switch");
    return;
  }
  const std::string stored = vx::FieldText(field);
  if (HasListEntry(stored)) return;
  const std::size_t separators =
      static_cast<std::size_t>(std::count(stored.begin(), stored.end(), ';'));
  Check(list.size() == separators + 1, "mask list size differs from the stored masks");
  for (const std::string& mask : list) {
    Check(mask.find(';') == std::string::npos, "a mask holds the separator");
    for (char c : mask) Check(c < 'a' || c > 'z', "a typed mask kept a lower-case letter");
  }
}

}  // namespace

// The parse's lists and options, emptied before each input.
vx::ParsedState& Parsed() {
  static vx::ParsedState parsed;
  return parsed;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetUpEnvironment();
  Lists();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // The exported entry point receives a C string: the text ends at the first NUL.
  const std::string arguments(reinterpret_cast<const char*>(data), size);
  Parsed().exclusions.clear();
  Parsed().inclusions.clear();

  GuardedRecord g;
  std::memset(&g, kGuard, sizeof g);
  std::memset(&g.rec, 0, sizeof g.rec);
  bool accepted = false, raised = false;
  try {
    accepted = vx::FillCopyRecFrom(Lists(), Parsed(), g.rec, arguments.c_str());
  } catch (const vx::VeltrixError& error) {
    raised = true;
    Check(error.what()[0] != '\0', "a failure without a message");
  }

  for (unsigned char byte : g.before) Check(byte == kGuard, "write before the record");
  for (unsigned char byte : g.after) Check(byte == kGuard, "write after the record");
  for (const char* field :
       {g.rec.Source, g.rec.Destination, g.rec.LogFile, g.rec.ExcludeMasks, g.rec.IncludeMasks})
    Check(Terminated(field), "text field without its NUL");

  if (accepted) {
    Check(g.rec.Destination[0] != '\0' || arguments.find('%') != std::string::npos,
          "accepted without a destination");
    CheckMasks(g.rec.HasExclude, g.rec.ExcludeMasks, Parsed().exclusions);
    CheckMasks(g.rec.HasInclude, g.rec.IncludeMasks, Parsed().inclusions);
  } else if (!raised) {
    Check(Parsed().exclusions.empty() && Parsed().inclusions.empty(),
          "a refused line filled a mask list");
  }
  return 0;
}
