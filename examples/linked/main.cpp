// A C++ host linked against VeltrixCore at build time: it names the files of
// a copy, answers every question with yes, and reports an unexpected failure
// of the engine itself, which reaches it as a C++ exception.
//
//   veltrix_linked ARGUMENT...   (source, destination, switches)
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include <veltrix/VeltrixCore.h>

namespace {

int files = 0;

void VX_STDCALL ShowError(const char* text) { std::printf("erreur : %s\n", text); }
void VX_STDCALL ShowFile(const char* text) {
  ++files;
  std::printf("fichier : %s\n", text);
}
int32_t VX_STDCALL AskUser(int32_t, const char*) { return AnswerYes; }

}  // namespace

int main(int argc, char** argv) {
  std::string arguments;
  for (int i = 1; i < argc; ++i) arguments += (i > 1 ? " " : "") + std::string(argv[i]);
  static CopyRec record;  // zero-filled, as FillCopyRec expects
  try {
    if (!FillCopyRec(&record, arguments.c_str())) {
      std::printf("ligne de commande refusee\n");
      return 5;
    }
    // No SignalState and no ShowTotal: both may be null.
    const int32_t result = ProcessCmdLine(record, ShowError, nullptr, ShowFile, AskUser, nullptr);
    std::printf("%s\n%d fichier(s), resultat %d\n", GetTitle(), files, static_cast<int>(result));
    return result;
  } catch (const std::exception& failure) {
    std::printf("echec : %s\n", failure.what());
    return 1;
  }
}
