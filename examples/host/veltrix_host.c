/* A host of the copy engine written in C from its public header alone: it
 * loads the library at run time by name and runs one session with callbacks
 * of its own. A C host cannot catch the library's C++ failures, so it goes
 * through TryFillCopyRec and TryProcessCmdLine, which return them as values.
 *
 *   veltrix_host [--library FILE] [--classique] ARGUMENT...
 *
 * The arguments are the copy's command line (source, destination, switches).
 * The host first shows a failure as a value: the same source with an
 * unreadable date. It then prints every file, question and progress report,
 * answers AskCreateFile with yes unless the path holds "refus", counts the
 * state events and exits with the session's result (5 when the command line
 * is refused, 1 for a failure, 10 and up when the library does not offer what
 * its header promises). --classique runs the session through FillCopyRec and
 * ProcessCmdLine instead, as hosts of the first five exports do. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <veltrix/VeltrixCore.h>

#include "loader.h"

#define EXPORT_COUNT 7

static int stateEvents[4];
static int questions;

/* What the progress callback receives back as its context. */
typedef struct ProgressCount {
  int reports;
} ProgressCount;

static void VX_STDCALL HostShowError(const char* text) { printf("erreur : %s\n", text); }

static void VX_STDCALL HostSignalState(int32_t event) {
  ++stateEvents[event >= 0 && event <= 2 ? event : 3];
}

static void VX_STDCALL HostShowFile(const char* text) { printf("fichier : %s\n", text); }

static int32_t VX_STDCALL HostAskUser(int32_t question, const char* text) {
  ++questions;
  printf("question %d : %s\n", (int)question, text ? text : "(sans texte)");
  switch (question) {
    case AskCreateFile: return text && strstr(text, "refus") ? AnswerNo : AnswerYes;
    case AskDeleteFailed: return AnswerIgnore; /* leave the source, go on */
    default: return AnswerYes;
  }
}

static void VX_STDCALL HostShowTotal(int32_t count) { printf("total : %d\n", (int)count); }

static void VX_STDCALL HostShowProgress(const char* path, int64_t done, int64_t total,
                                        int32_t phase, void* context) {
  ++((ProgressCount*)context)->reports;
  printf("progression : %s %s %lld/%lld\n", phase == ProgressVerify ? "verification" : "copie",
         path, (long long)done, (long long)total);
}

/* Reasons of failures, notices and the mirror's listing under -L. */
static void VX_STDCALL HostShowReport(int32_t kind, const char* text, void* context) {
  (void)context;
  printf("rapport %d : %s\n", (int)kind, text);
}

/* The arguments joined into one text as the library cuts it back: one
 * holding a blank or a quote goes in double quotes, its own doubled. */
static char* ArgumentText(int count, char** arguments, const char* more) {
  size_t size = strlen(more) + 1;
  int i;
  char* text;
  char* out;
  for (i = 0; i < count; ++i) size += 2 * strlen(arguments[i]) + 3;
  text = malloc(size);
  if (!text) return NULL;
  out = text;
  for (i = 0; i < count; ++i) {
    const char* in = arguments[i];
    const int quote = *in == '\0' || strpbrk(in, " \t'\"") != NULL;
    if (i > 0) *out++ = ' ';
    if (quote) *out++ = '"';
    for (; *in; ++in) {
      if (*in == '"') *out++ = '"';
      *out++ = *in;
    }
    if (quote) *out++ = '"';
  }
  strcpy(out, more);
  return text;
}

/* A failure as a value: the source with a date that does not convert. The
 * library keeps nothing of a failed parse, so the real one may follow. */
static void ShowFailureAsValue(TryFillCopyRecProc tryFill, char* source) {
  CopyRec scratch;
  char message[512];
  char shortMessage[12];
  char* text = ArgumentText(1, &source, " -D:abc");
  int32_t code;
  if (!text) return;
  memset(&scratch, 0, sizeof scratch);
  code = tryFill(text, &scratch, message, (int32_t)sizeof message);
  printf("essai -D:abc : %d, %s\n", (int)code, message);
  /* A buffer too small gets the beginning, still NUL-terminated. */
  code = tryFill(text, &scratch, shortMessage, (int32_t)sizeof shortMessage);
  printf("essai -D:abc, message sur %d octets : %d, %s\n", (int)sizeof shortMessage, (int)code,
         shortMessage);
  free(text);
}

int main(int argc, char** argv) {
  const char* file = LibraryFileName();
  static const char* const names[EXPORT_COUNT] = {"ProcessCmdLine", "FillCopyRec",
                                                  "NeedHelp",       "GetCopyright",
                                                  "GetTitle",       "TryFillCopyRec",
                                                  "TryProcessCmdLine"};
  void* entries[EXPORT_COUNT];
  void* library;
  TryFillCopyRecProc tryFill;
  TryProcessCmdLineProc tryProcess;
  GetTitleProc getTitle;
  CopyRec record;
  VeltrixHost host;
  ProgressCount progress = {0};
  char message[1024];
  char* arguments;
  int first = 1, i, byOrdinal = 0, classic = 0;
  int32_t result;

  if (argc > 2 && strcmp(argv[first], "--library") == 0) {
    file = argv[first + 1];
    first += 2;
  }
  if (argc > first && strcmp(argv[first], "--classique") == 0) {
    classic = 1;
    ++first;
  }
  library = LoadByName(file);
  if (!library) {
    fprintf(stderr, "%s : chargement impossible (%s)\n", file, LoaderError());
    return 10;
  }
  for (i = 0; i < EXPORT_COUNT; ++i) {
    void* numbered = SymbolByOrdinal(library, i + 1);
    entries[i] = SymbolByName(library, names[i]);
    if (!entries[i]) {
      fprintf(stderr, "%s : pas d'export %s\n", file, names[i]);
      return 11;
    }
    /* Where the system has ordinals, each name sits at its own. */
    if (numbered && numbered != entries[i]) {
      fprintf(stderr, "%s : l'ordinal %d n'est pas %s\n", file, i + 1, names[i]);
      return 12;
    }
    if (numbered) ++byOrdinal;
  }
  getTitle = (GetTitleProc)entries[4];
  tryFill = (TryFillCopyRecProc)entries[5];
  tryProcess = (TryProcessCmdLineProc)entries[6];
  printf("bibliotheque : %s\n", getTitle());
  printf("ordinaux : %d sur %d\n", byOrdinal, EXPORT_COUNT);

  arguments = ArgumentText(argc - first, argv + first, "");
  if (!arguments) return 13;
  memset(&record, 0, sizeof record);
  if (classic) {
    /* The first five: a failure would end the process here. */
    if (!((FillCopyRecProc)entries[1])(&record, arguments)) {
      printf("ligne de commande refusee\n");
      free(arguments);
      return 5;
    }
    free(arguments);
    /* The record goes by value: the session works on its own copy. */
    result = ((ProcessCmdLineProc)entries[0])(record, HostShowError, HostSignalState, HostShowFile,
                                              HostAskUser, HostShowTotal);
  } else {
    if (argc > first) ShowFailureAsValue(tryFill, argv[first]);
    switch (tryFill(arguments, &record, message, (int32_t)sizeof message)) {
      case 1: break;
      case 0:
        printf("ligne de commande refusee : %s\n", message);
        free(arguments);
        return 5;
      default:
        printf("echec : %s\n", message);
        free(arguments);
        return 1;
    }
    free(arguments);
    memset(&host, 0, sizeof host);
    host.Size = (uint32_t)sizeof host;
    host.ShowError = HostShowError;
    host.SignalState = HostSignalState;
    host.ShowFile = HostShowFile;
    host.AskUser = HostAskUser;
    host.ShowTotal = HostShowTotal;
    host.ShowProgress = HostShowProgress;
    host.Context = &progress;
    host.ShowReport = HostShowReport;
    result = tryProcess(&record, &host, message, (int32_t)sizeof message);
    if (result < 0) printf("echec : %s\n", message);
    printf("rapports de progression : %d\n", progress.reports);
  }
  printf("evenements : ouverture %d, debut %d, annulation %d, autres %d\n", stateEvents[0],
         stateEvents[1], stateEvents[2], stateEvents[3]);
  printf("questions : %d\n", questions);
  printf("resultat : %d\n", (int)result);
  Unload(library);
  return result < 0 ? 1 : result;
}
