/* VeltrixCore: the copy engine of Veltrix as a shared library.
 *
 * A host fills a CopyRec from a command-line text with FillCopyRec, then runs
 * one copy session with ProcessCmdLine, which talks back through five
 * callbacks. TryFillCopyRec and TryProcessCmdLine do the same and return
 * every failure as a value, for hosts that cannot catch C++ exceptions.
 * Usable from C (C99 and later) and C++.
 *
 *   Linux:   libVeltrixCore.so, link with -lVeltrixCore or dlopen it.
 *   Windows: VeltrixCore.dll (x86-64 or i686), link with libVeltrixCore.dll.a
 *            or LoadLibrary it. A 32-bit host loads the i686 DLL: only there
 *            is the interface the classic stdcall one, the record pushed on
 *            the stack by value. The seven names are exported undecorated, at
 *            ordinals 1 to 7 in the order of the tables below.
 *
 * Texts: single-byte strings, NUL-terminated, in the ANSI code page (1252)
 * on Windows and UTF-8 on Linux. Every text the library hands to a callback
 * is the library's, valid only until the callback returns; copy it to keep it.
 *
 * Failures: a refused command line, failed copies, differing digests and a
 * cancel are values (the result codes below). Unexpected failures (a value
 * that does not convert, a list file or log that cannot be read or written,
 * a file that cannot be opened for its digest) are raised as C++ exceptions
 * of the library's own type, derived from std::exception, whose what() holds
 * the French message. The library catches none of them. A C host cannot
 * catch them: the process ends (std::terminate) unless a C++ frame of the
 * host catches. A C host therefore calls TryFillCopyRec and
 * TryProcessCmdLine (exports 6 and 7), which catch them and hand back the
 * message; a C++ host may also wrap the first two in try/catch
 * (std::exception&).
 *
 * Threads: one session per process at a time, on the caller's thread; the
 * callbacks are called synchronously on that thread. The mask lists and the
 * whole-word options (below) filled by FillCopyRec live in the library: call
 * FillCopyRec once per process, then ProcessCmdLine with that record.
 *
 * Whole-word switches without a field: CopyRec's layout is fixed, so the
 * switches added after it (-STRICT, -OWNER, -XATTR, -HARDLINKS; and
 * -THREADS:n, which this version accepts and carries to the session but does
 * not act on yet) are kept by the library, beside the mask lists, from the
 * last command line FillCopyRec or TryFillCopyRec accepted, and the next
 * session (ProcessCmdLine or TryProcessCmdLine) receives them with the
 * record. A VeltrixHost may add the same options without a command line.
 * -STRICT makes a switch the parser does not know a refusal; without it an
 * unknown switch is ignored, as before.
 */
#ifndef VELTRIX_VELTRIXCORE_H
#define VELTRIX_VELTRIXCORE_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

/* The calling convention of the exports and the callbacks: stdcall on
 * 32-bit Windows (the callee removes its arguments), the platform's one
 * elsewhere (on x86-64 Windows the compiler ignores __stdcall). */
#if defined(_WIN32)
#define VX_STDCALL __stdcall
#else
#define VX_STDCALL
#endif

/* How the five functions are declared. The Windows DLL takes its export
 * table from a module-definition file, so building it needs no dllexport. */
#if defined(_WIN32)
#if defined(VX_BUILDING_CORE)
#define VX_API
#else
#define VX_API __declspec(dllimport)
#endif
#elif defined(VX_BUILDING_CORE)
#define VX_API __attribute__((visibility("default")))
#else
#define VX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- The options record ------------------------------------------------------
 *
 * 10320 bytes with a fixed layout, the same for every platform and width.
 * Text fields hold at most 2048 characters and a NUL. Flags are one byte,
 * written 0 or 1, read as true when not 0. FilterDate is a day number: days
 * since 30 December 1899, the fraction the time of day. The host owns the
 * record: it zero-fills it, hands its address to FillCopyRec and its bytes to
 * ProcessCmdLine, and never needs to read a field. Reserved bytes keep what
 * the caller put there. */

#define VX_TEXT_FIELD_SIZE 2049

typedef struct CopyRec {
  char Source[VX_TEXT_FIELD_SIZE];      /* ";"-separated entries, "file:" lists */
  char Destination[VX_TEXT_FIELD_SIZE]; /* ";"-separated, or exactly "NUL" */
  uint8_t Silent;                       /* no error or state messages */
  uint8_t SyncMode;                     /* 0 copy, 1 SYNCHRONIZE, 2 BISYNCHRONIZE */
  char LogFile[VX_TEXT_FIELD_SIZE];     /* empty: no log */
  uint8_t LogMode;                      /* 0, 1 or 2: detail of the log */
  uint8_t Reserved6150[2];
  int32_t LogLines;                     /* lines kept in the log, -1 no limit */
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
  int32_t FilterSize;                   /* bytes, 0 to 2147483647 */
  uint8_t SizeBelow;
  uint8_t SizeEqual;
  uint8_t SizeAbove;
  uint8_t Reserved6195;
  uint8_t PromptCreate;                 /* -P */
  uint8_t ArchiveOnly;                  /* -A */
  uint8_t CopyHidden;                   /* -H */
  uint8_t SwitchI;                      /* -I, recorded only */
  uint8_t ExistingOnly;                 /* -U */
  uint8_t CopySubdirs;                  /* -S */
  uint8_t TreeOnly;                     /* -T */
  uint8_t KeepAttributes;               /* -K */
  uint8_t OverwriteReadOnly;            /* -R */
  uint8_t CopyEmptySubdirs;             /* -E */
  uint8_t ArchiveClear;                 /* -M */
  uint8_t ConfirmStart;                 /* -W */
  uint8_t ListOnly;                     /* -L */
  uint8_t Reserved6209;
  uint8_t HasExclude;
  char ExcludeMasks[VX_TEXT_FIELD_SIZE];
  uint8_t HasInclude;
  char IncludeMasks[VX_TEXT_FIELD_SIZE];
  uint8_t Force;                        /* -FORCE */
  uint8_t Quiet;                        /* -Q */
  uint8_t IgnoreErrors;                 /* -C */
  uint8_t ShowBothNames;                /* -F */
  uint8_t ShortNames;                   /* -N */
  uint8_t Verify;                       /* -V */
  uint8_t DeleteSource;                 /* -X */
  uint8_t KeepSourceDirs;               /* -Y */
  uint8_t Reserved10318[2];
} CopyRec;

/* The layout, checked wherever the language allows. */
#if defined(__cplusplus) && __cplusplus >= 201103L
#define VX_LAYOUT_CHECK(condition, name) static_assert(condition, #name)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define VX_LAYOUT_CHECK(condition, name) _Static_assert(condition, #name)
#else
#define VX_LAYOUT_CHECK(condition, name) typedef char vx_layout_##name[(condition) ? 1 : -1]
#endif
VX_LAYOUT_CHECK(sizeof(CopyRec) == 10320, CopyRec_is_10320_bytes);
VX_LAYOUT_CHECK(offsetof(CopyRec, Destination) == 2049, Destination_at_2049);
VX_LAYOUT_CHECK(offsetof(CopyRec, Silent) == 4098, Silent_at_4098);
VX_LAYOUT_CHECK(offsetof(CopyRec, SyncMode) == 4099, SyncMode_at_4099);
VX_LAYOUT_CHECK(offsetof(CopyRec, LogFile) == 4100, LogFile_at_4100);
VX_LAYOUT_CHECK(offsetof(CopyRec, LogMode) == 6149, LogMode_at_6149);
VX_LAYOUT_CHECK(offsetof(CopyRec, LogLines) == 6152, LogLines_at_6152);
VX_LAYOUT_CHECK(offsetof(CopyRec, NoDateFilter) == 6160, NoDateFilter_at_6160);
VX_LAYOUT_CHECK(offsetof(CopyRec, FilterDate) == 6168, FilterDate_at_6168);
VX_LAYOUT_CHECK(offsetof(CopyRec, DateBefore) == 6176, DateBefore_at_6176);
VX_LAYOUT_CHECK(offsetof(CopyRec, DateEqual) == 6177, DateEqual_at_6177);
VX_LAYOUT_CHECK(offsetof(CopyRec, DateAfter) == 6178, DateAfter_at_6178);
VX_LAYOUT_CHECK(offsetof(CopyRec, NoSizeFilter) == 6184, NoSizeFilter_at_6184);
VX_LAYOUT_CHECK(offsetof(CopyRec, FilterSize) == 6188, FilterSize_at_6188);
VX_LAYOUT_CHECK(offsetof(CopyRec, SizeBelow) == 6192, SizeBelow_at_6192);
VX_LAYOUT_CHECK(offsetof(CopyRec, SizeEqual) == 6193, SizeEqual_at_6193);
VX_LAYOUT_CHECK(offsetof(CopyRec, SizeAbove) == 6194, SizeAbove_at_6194);
VX_LAYOUT_CHECK(offsetof(CopyRec, PromptCreate) == 6196, PromptCreate_at_6196);
VX_LAYOUT_CHECK(offsetof(CopyRec, ArchiveOnly) == 6197, ArchiveOnly_at_6197);
VX_LAYOUT_CHECK(offsetof(CopyRec, CopyHidden) == 6198, CopyHidden_at_6198);
VX_LAYOUT_CHECK(offsetof(CopyRec, SwitchI) == 6199, SwitchI_at_6199);
VX_LAYOUT_CHECK(offsetof(CopyRec, ExistingOnly) == 6200, ExistingOnly_at_6200);
VX_LAYOUT_CHECK(offsetof(CopyRec, CopySubdirs) == 6201, CopySubdirs_at_6201);
VX_LAYOUT_CHECK(offsetof(CopyRec, TreeOnly) == 6202, TreeOnly_at_6202);
VX_LAYOUT_CHECK(offsetof(CopyRec, KeepAttributes) == 6203, KeepAttributes_at_6203);
VX_LAYOUT_CHECK(offsetof(CopyRec, OverwriteReadOnly) == 6204, OverwriteReadOnly_at_6204);
VX_LAYOUT_CHECK(offsetof(CopyRec, CopyEmptySubdirs) == 6205, CopyEmptySubdirs_at_6205);
VX_LAYOUT_CHECK(offsetof(CopyRec, ArchiveClear) == 6206, ArchiveClear_at_6206);
VX_LAYOUT_CHECK(offsetof(CopyRec, ConfirmStart) == 6207, ConfirmStart_at_6207);
VX_LAYOUT_CHECK(offsetof(CopyRec, ListOnly) == 6208, ListOnly_at_6208);
VX_LAYOUT_CHECK(offsetof(CopyRec, HasExclude) == 6210, HasExclude_at_6210);
VX_LAYOUT_CHECK(offsetof(CopyRec, ExcludeMasks) == 6211, ExcludeMasks_at_6211);
VX_LAYOUT_CHECK(offsetof(CopyRec, HasInclude) == 8260, HasInclude_at_8260);
VX_LAYOUT_CHECK(offsetof(CopyRec, IncludeMasks) == 8261, IncludeMasks_at_8261);
VX_LAYOUT_CHECK(offsetof(CopyRec, Force) == 10310, Force_at_10310);
VX_LAYOUT_CHECK(offsetof(CopyRec, Quiet) == 10311, Quiet_at_10311);
VX_LAYOUT_CHECK(offsetof(CopyRec, IgnoreErrors) == 10312, IgnoreErrors_at_10312);
VX_LAYOUT_CHECK(offsetof(CopyRec, ShowBothNames) == 10313, ShowBothNames_at_10313);
VX_LAYOUT_CHECK(offsetof(CopyRec, ShortNames) == 10314, ShortNames_at_10314);
VX_LAYOUT_CHECK(offsetof(CopyRec, Verify) == 10315, Verify_at_10315);
VX_LAYOUT_CHECK(offsetof(CopyRec, DeleteSource) == 10316, DeleteSource_at_10316);
VX_LAYOUT_CHECK(offsetof(CopyRec, KeepSourceDirs) == 10317, KeepSourceDirs_at_10317);

/* ---- Codes -------------------------------------------------------------------
 *
 * Constants of the type the callbacks carry (int32_t) in C++, enumerators in
 * C, so that both can switch on them. */
#ifdef __cplusplus
#define VX_CODE(name, value) constexpr int32_t name = value;
#else
#define VX_CODE(name, value) enum { name = value };
#endif

/* Questions passed to AskUser. */
VX_CODE(AskStartCopy, 100)    /* -W: before the session; the answer is ignored, text is null */
VX_CODE(AskCreateFile, 101)   /* -P: the target file does not exist; text is its path */
VX_CODE(AskDeleteFailed, 102) /* -X: the source could not be deleted; text is the target path */

/* Answers returned by AskUser. To AskCreateFile: Yes copies, No skips, All
 * copies and asks no more this session, Cancel ends the session (the file
 * asked about is still copied); any other value copies. To AskDeleteFailed:
 * Ignore leaves the source and goes on, Cancel ends the session at once, any
 * other value tries the deletion again and asks again if it fails. */
VX_CODE(AnswerYes, 201)
VX_CODE(AnswerNo, 202)
VX_CODE(AnswerAll, 203)
VX_CODE(AnswerCancel, 204)
VX_CODE(AnswerIgnore, 206)

/* Events passed to SignalState. */
VX_CODE(StateSessionOpen, 0) /* first, unless the process's command line holds -SILENT */
VX_CODE(StateCopyBegins, 1)  /* after the log's start line, unless Silent */
VX_CODE(StateCancelled, 2)   /* an answer cancelled the session, unless Silent */

/* Results of ProcessCmdLine (Veltrix's exit codes 0 to 3). */
VX_CODE(ResultOk, 0)
VX_CODE(ResultCancelled, 1)
VX_CODE(ResultCopyFailed, 2)    /* a copy failed, or errors were logged */
VX_CODE(ResultDigestDiffers, 3) /* an MD5 verification failed */

/* ---- Callbacks ----------------------------------------------------------------
 *
 * ShowError and AskUser must not be null: the library calls them without a
 * test (AskUser is only tested before AskStartCopy). SignalState, ShowFile and
 * ShowTotal may be null and are then skipped. Texts are the library's, valid
 * during the call only. */

/* An error that stops the copy walk, as one line of text. */
typedef void(VX_STDCALL* ShowErrorProc)(const char* text);
/* A state event (StateSessionOpen, StateCopyBegins, StateCancelled). */
typedef void(VX_STDCALL* SignalStateProc)(int32_t event);
/* The file about to be copied: its path, or "source -> target" under -F. */
typedef void(VX_STDCALL* ShowFileProc)(const char* text);
/* A question (Ask... code) about a path (may be null); returns an Answer... code. */
typedef int32_t(VX_STDCALL* AskUserProc)(int32_t question, const char* text);
/* The number of files copied, once when a session ends normally. */
typedef void(VX_STDCALL* ShowTotalProc)(int32_t count);

/* ---- The five functions, by export ordinal ------------------------------------ */
/* (Exports 6 and 7 follow below, with the structure they take.) */

/* 1. Runs one copy session on its own copy of the record (all 10320 bytes are
 * passed by value; the caller's record is never changed) and returns a
 * Result... code. options must come from a FillCopyRec call that returned
 * true. Unexpected failures are raised as C++ exceptions (see above); the
 * session's total is then not shown. Not reentrant. */
VX_API int32_t VX_STDCALL ProcessCmdLine(CopyRec options, ShowErrorProc showError,
                                         SignalStateProc signalState, ShowFileProc showFile,
                                         AskUserProc askUser, ShowTotalProc showTotal);

/* 2. Parses arguments (the command line without the program's name, e.g.
 * "src dst -S -V") into *options, which the caller zero-filled, and fills the
 * library's mask lists. Returns false when the command line is refused; the
 * record is then partly filled and must not be passed on. Raises a C++
 * exception for a value that does not convert, a text too long for its field
 * or a "file:" list that cannot be read. Never calls back. */
VX_API bool VX_STDCALL FillCopyRec(CopyRec* options, const char* arguments);

/* 3. Whether the process's own command line asks for help (-?, -help, --help;
 * /? and /help too on Windows). The help page is no function: on Windows it
 * is the resource CMDINFO of type TEXT; on Linux the data symbols
 * vx_resource_TEXT_CMDINFO and vx_resource_TEXT_CMDINFO_size (a size_t). Its
 * bytes are Windows-1252 text with CR LF line ends on both. */
VX_API bool VX_STDCALL NeedHelp(void);

/* 4. The copyright notice: two lines joined by CR LF, static, never freed. */
VX_API const char* VX_STDCALL GetCopyright(void);

/* 5. The title line, static, never freed. */
VX_API const char* VX_STDCALL GetTitle(void);

/* The same five as pointer types, for hosts that load the library at run time. */
typedef int32_t(VX_STDCALL* ProcessCmdLineProc)(CopyRec, ShowErrorProc, SignalStateProc,
                                                ShowFileProc, AskUserProc, ShowTotalProc);
typedef bool(VX_STDCALL* FillCopyRecProc)(CopyRec*, const char*);
typedef bool(VX_STDCALL* NeedHelpProc)(void);
typedef const char*(VX_STDCALL* GetCopyrightProc)(void);
typedef const char*(VX_STDCALL* GetTitleProc)(void);

/* ---- Failures as values: exports 6 and 7 ---------------------------------------
 *
 * Both never let a C++ exception out (TryProcessCmdLine unless the host
 * sets VeltrixHost.RaiseFailures). Each takes a buffer for a message:
 * message may be null or messageSize 0 or less, and nothing is then written;
 * otherwise the buffer always receives a NUL-terminated text (empty when
 * there is nothing to say), cut to messageSize - 1 bytes where longer, never
 * inside a UTF-8 sequence on Linux. Texts are in the encoding above. A
 * message quotes the paths and values it concerns, which may be as long as
 * the record's text fields: size the buffer for those. */

/* Phases passed to ShowProgress. */
VX_CODE(ProgressCopy, 0)   /* the content goes to the target (or the file is moved) */
VX_CODE(ProgressVerify, 1) /* -V: the copy and its source are read for their digests */

/* How far one file has come: path is its source path as ShowFile names it
 * (without " -> target"), done and total are bytes. Called at the start of
 * each phase of each file the session writes (done 0) and at its end (done
 * equal to total; a copy that fails has no end), and in between as the bytes
 * are copied or digested, with done growing. total is -1 when the size could
 * not be read (done is then 0, then -1). Not called under -L, -T or for the
 * destination NUL. context is VeltrixHost.Context. */
typedef void(VX_STDCALL* ShowProgressProc)(const char* path, int64_t done, int64_t total,
                                           int32_t phase, void* context);

/* What ShowReport tells. Texts are French (the reason in the system's own
 * words, French where the system gives it), one line each, never under
 * Silent except ReportPurgeListed:
 *   ReportFailure     a failure that ShowError did not show (a copy failed
 *                     under -C, a file or folder that could not be deleted,
 *                     a folder -E or -T could not create): what failed,
 *                     naming the paths;
 *   ReportReason      the system's reason of the failure just shown, through
 *                     ShowError or ReportFailure: "Raison : ...";
 *   ReportNotice      a source entry that names nothing (no such file or
 *                     folder, or a mask that matches nothing), or -OWNER
 *                     where the process may not change owners (once, at
 *                     the start);
 *   ReportPurgeListed -L -SYNCHRONIZE: a file or folder the mirror would
 *                     delete (the run deletes nothing); not under -Q. */
VX_CODE(ReportFailure, 0)
VX_CODE(ReportReason, 1)
VX_CODE(ReportNotice, 2)
VX_CODE(ReportPurgeListed, 3)

/* One report (Report... code) and its text; context is VeltrixHost.Context. */
typedef void(VX_STDCALL* ShowReportProc)(int32_t kind, const char* text, void* context);

/* What a host hands to TryProcessCmdLine: its callbacks and options. Zero-fill
 * it, set Size to sizeof(VeltrixHost), then the fields you use. The library
 * reads no byte at or beyond Size, so that the structure can grow: a host
 * built against an older header, whose Size ends earlier, gets the defaults
 * (zero) of the fields it does not know. A library older than the header
 * ignores the fields it does not know. */
typedef struct VeltrixHost {
  uint32_t Size;                 /* at least offsetof(VeltrixHost, ShowProgress) */
  ShowErrorProc ShowError;       /* the five callbacks of ProcessCmdLine, with its rules: */
  SignalStateProc SignalState;   /*   may be null */
  ShowFileProc ShowFile;         /*   may be null */
  AskUserProc AskUser;
  ShowTotalProc ShowTotal;       /*   may be null */
  ShowProgressProc ShowProgress; /* may be null: no progress */
  void* Context;                 /* handed back to ShowProgress and ShowReport, never read */
  /* Options that add to the command line's whole-word switches: 1 sets the
   * option as its switch would, 0 leaves it as the command line says. */
  uint8_t KeepOwner;  /* -OWNER */
  uint8_t CopyXattrs; /* -XATTR */
  uint8_t HardLinks;  /* -HARDLINKS */
  uint8_t Reserved;   /* not read */
  int32_t Threads;    /* -THREADS:n, 1 to 64; 0 leaves it as the command line says */
  ShowReportProc ShowReport; /* may be null: no reasons, notices nor purge listing */
  /* 1: an unexpected failure passes out of TryProcessCmdLine as the C++
   * exception ProcessCmdLine raises, for a C++ host that reports failures
   * itself (the console program); a C host leaves it 0. */
  uint8_t RaiseFailures;
  uint8_t Reserved2[3]; /* not read */
} VeltrixHost;

/* 6. FillCopyRec with every outcome a value. Parses cmdLine (the arguments,
 * as FillCopyRec takes them; null reads as "") into *rec, which the caller
 * zero-filled, and returns
 *    1  accepted: *rec may go to TryProcessCmdLine or ProcessCmdLine;
 *    0  refused (FillCopyRec's false, exit code 5 of the program): the
 *       message says why, e.g. the switch -STRICT does not know; the
 *       library's mask lists and options are as before the call;
 *   -1  a failure (a value that does not convert, a text too long for its
 *       field, a "file:" list that cannot be read, a null rec): the French
 *       message is the one FillCopyRec would raise; the library's mask lists
 *       and options are as before the call.
 * After 0 or -1, *rec is partly filled and must not be passed on. As with
 * FillCopyRec, a second accepted command line with masks fails: the mask
 * lists are filled once per process. Never calls back. */
VX_API int32_t VX_STDCALL TryFillCopyRec(const char* cmdLine, CopyRec* rec, char* message,
                                         int32_t messageSize);

/* 7. ProcessCmdLine with every outcome a value. Runs one session on a copy of
 * *rec (the caller's record is never changed; it must come from an accepted
 * TryFillCopyRec or FillCopyRec) with host's callbacks and options, and the
 * options of the command line that filled it. Returns the session's result
 * (ResultOk to ResultDigestDiffers), or -1 with the French message of a
 * failure: an unexpected failure of the session (see above; the total is then
 * not shown), a null rec or host, a Size too small, a null ShowError or
 * AskUser, Threads outside 0 to 64. After -1 the next session may run. Not
 * reentrant; one session per process at a time. */
VX_API int32_t VX_STDCALL TryProcessCmdLine(const CopyRec* rec, const VeltrixHost* host,
                                            char* message, int32_t messageSize);

typedef int32_t(VX_STDCALL* TryFillCopyRecProc)(const char*, CopyRec*, char*, int32_t);
typedef int32_t(VX_STDCALL* TryProcessCmdLineProc)(const CopyRec*, const VeltrixHost*, char*,
                                                   int32_t);

#ifdef __cplusplus
}
#endif

#endif /* VELTRIX_VELTRIXCORE_H */
