// The options record shared byte for byte by the program and the engine.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vx {

constexpr std::size_t kTextFieldSize = 2049;  // 2048 characters and a NUL
constexpr std::size_t kMaxTextLength = kTextFieldSize - 1;

struct CopyRec {
  char Source[kTextFieldSize];
  char Destination[kTextFieldSize];
  uint8_t Silent;
  uint8_t SyncMode;  // 0 copy, 1 SYNCHRONIZE, 2 BISYNCHRONIZE
  char LogFile[kTextFieldSize];
  uint8_t LogMode;
  uint8_t Reserved6150[2];
  int32_t LogLines;
  uint8_t Reserved6156[4];
  uint8_t NoDateFilter;
  uint8_t Reserved6161[7];
  double FilterDate;
  uint8_t DateBefore;
  uint8_t DateEqual;
  uint8_t DateAfter;
  uint8_t Reserved6179[5];
  uint8_t NoSizeFilter;
  uint8_t Reserved6185[3];
  int32_t FilterSize;
  uint8_t SizeBelow;
  uint8_t SizeEqual;
  uint8_t SizeAbove;
  uint8_t Reserved6195;
  uint8_t PromptCreate;
  uint8_t ArchiveOnly;
  uint8_t CopyHidden;
  uint8_t SwitchI;
  uint8_t ExistingOnly;
  uint8_t CopySubdirs;
  uint8_t TreeOnly;
  uint8_t KeepAttributes;
  uint8_t OverwriteReadOnly;
  uint8_t CopyEmptySubdirs;
  uint8_t ArchiveClear;
  uint8_t ConfirmStart;
  uint8_t ListOnly;
  uint8_t Reserved6209;
  uint8_t HasExclude;
  char ExcludeMasks[kTextFieldSize];
  uint8_t HasInclude;
  char IncludeMasks[kTextFieldSize];
  uint8_t Force;
  uint8_t Quiet;
  uint8_t IgnoreErrors;
  uint8_t ShowBothNames;
  uint8_t ShortNames;
  uint8_t Verify;
  uint8_t DeleteSource;
  uint8_t KeepSourceDirs;
  uint8_t Reserved10318[2];
};

static_assert(sizeof(CopyRec) == 10320, "CopyRec is a fixed 10320-byte interface");
static_assert(offsetof(CopyRec, Source) == 0);
static_assert(offsetof(CopyRec, Destination) == 2049);
static_assert(offsetof(CopyRec, Silent) == 4098);
static_assert(offsetof(CopyRec, SyncMode) == 4099);
static_assert(offsetof(CopyRec, LogFile) == 4100);
static_assert(offsetof(CopyRec, LogMode) == 6149);
static_assert(offsetof(CopyRec, LogLines) == 6152);
static_assert(offsetof(CopyRec, NoDateFilter) == 6160);
static_assert(offsetof(CopyRec, FilterDate) == 6168);
static_assert(offsetof(CopyRec, DateBefore) == 6176);
static_assert(offsetof(CopyRec, DateEqual) == 6177);
static_assert(offsetof(CopyRec, DateAfter) == 6178);
static_assert(offsetof(CopyRec, NoSizeFilter) == 6184);
static_assert(offsetof(CopyRec, FilterSize) == 6188);
static_assert(offsetof(CopyRec, SizeBelow) == 6192);
static_assert(offsetof(CopyRec, SizeEqual) == 6193);
static_assert(offsetof(CopyRec, SizeAbove) == 6194);
static_assert(offsetof(CopyRec, PromptCreate) == 6196);
static_assert(offsetof(CopyRec, ArchiveOnly) == 6197);
static_assert(offsetof(CopyRec, CopyHidden) == 6198);
static_assert(offsetof(CopyRec, SwitchI) == 6199);
static_assert(offsetof(CopyRec, ExistingOnly) == 6200);
static_assert(offsetof(CopyRec, CopySubdirs) == 6201);
static_assert(offsetof(CopyRec, TreeOnly) == 6202);
static_assert(offsetof(CopyRec, KeepAttributes) == 6203);
static_assert(offsetof(CopyRec, OverwriteReadOnly) == 6204);
static_assert(offsetof(CopyRec, CopyEmptySubdirs) == 6205);
static_assert(offsetof(CopyRec, ArchiveClear) == 6206);
static_assert(offsetof(CopyRec, ConfirmStart) == 6207);
static_assert(offsetof(CopyRec, ListOnly) == 6208);
static_assert(offsetof(CopyRec, HasExclude) == 6210);
static_assert(offsetof(CopyRec, ExcludeMasks) == 6211);
static_assert(offsetof(CopyRec, HasInclude) == 8260);
static_assert(offsetof(CopyRec, IncludeMasks) == 8261);
static_assert(offsetof(CopyRec, Force) == 10310);
static_assert(offsetof(CopyRec, Quiet) == 10311);
static_assert(offsetof(CopyRec, IgnoreErrors) == 10312);
static_assert(offsetof(CopyRec, ShowBothNames) == 10313);
static_assert(offsetof(CopyRec, ShortNames) == 10314);
static_assert(offsetof(CopyRec, Verify) == 10315);
static_assert(offsetof(CopyRec, DeleteSource) == 10316);
static_assert(offsetof(CopyRec, KeepSourceDirs) == 10317);

}  // namespace vx
