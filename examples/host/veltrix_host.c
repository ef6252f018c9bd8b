/* A host of the copy engine written in C from its public header alone: it
 * loads the library at run time by name, fills a record with FillCopyRec and
 * runs one session with callbacks of its own.
 *
 *   veltrix_host [--library FILE] ARGUMENT...
 *
 * The arguments are the copy's command line (source, destination, switches).
 * The host prints every file and question, answers AskCreateFile with yes
 * unless the path holds "refus", counts the state events and exits with the
 * session's result (5 when the command line is refused, 10 and up when the
 * library does not offer what its header promises). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <veltrix/VeltrixCore.h>

#include "loader.h"

static int stateEvents[4];
static int questions;

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

/* The arguments joined into one text as the library cuts it back: one
 * holding a blank or a quote goes in double quotes, its own doubled. */
static char* ArgumentText(int count, char** arguments) {
  size_t size = 1;
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
  *out = '\0';
  return text;
}

int main(int argc, char** argv) {
  const char* file = LibraryFileName();
  static const char* const names[5] = {"ProcessCmdLine", "FillCopyRec", "NeedHelp",
                                       "GetCopyright", "GetTitle"};
  void* entries[5];
  void* library;
  ProcessCmdLineProc processCmdLine;
  FillCopyRecProc fillCopyRec;
  GetTitleProc getTitle;
  CopyRec record;
  char* arguments;
  int first = 1, i, byOrdinal = 0;
  int32_t result;

  if (argc > 2 && strcmp(argv[1], "--library") == 0) {
    file = argv[2];
    first = 3;
  }
  library = LoadByName(file);
  if (!library) {
    fprintf(stderr, "%s : chargement impossible (%s)\n", file, LoaderError());
    return 10;
  }
  for (i = 0; i < 5; ++i) {
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
  processCmdLine = (ProcessCmdLineProc)entries[0];
  fillCopyRec = (FillCopyRecProc)entries[1];
  getTitle = (GetTitleProc)entries[4];
  printf("bibliotheque : %s\n", getTitle());
  printf("ordinaux : %d sur 5\n", byOrdinal);

  memset(&record, 0, sizeof record);
  arguments = ArgumentText(argc - first, argv + first);
  if (!arguments) return 13;
  if (!fillCopyRec(&record, arguments)) {
    printf("ligne de commande refusee\n");
    free(arguments);
    return 5;
  }
  free(arguments);
  /* The record goes by value: the session works on its own copy. */
  result = processCmdLine(record, HostShowError, HostSignalState, HostShowFile, HostAskUser,
                          HostShowTotal);
  printf("evenements : ouverture %d, debut %d, annulation %d, autres %d\n", stateEvents[0],
         stateEvents[1], stateEvents[2], stateEvents[3]);
  printf("questions : %d\n", questions);
  printf("resultat : %d\n", (int)result);
  Unload(library);
  return result;
}
