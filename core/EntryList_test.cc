#include <gtest/gtest.h>

#include "core/Error.h"
#include "core/HolyCoreUnit.h"
#include "tests/unit/ListFilesDouble.h"
#include "tests/unit/TempDir.h"

namespace vx {
namespace {

using test::ListFilesDouble;

EntryList Split(const std::string& text) {
  EntryList list;
  SplitEntryList(text, ';', list);
  return list;
}

TEST(SplitEntryList, EmptyEntriesAreKeptAndEntriesTrimmed) {
  ListFilesDouble files;
  EXPECT_EQ(Split("a;;b"), (EntryList{"a", "", "b"}));
  EXPECT_EQ(Split("a;"), (EntryList{"a", ""}));
  EXPECT_EQ(Split(";"), (EntryList{"", ""}));
  EXPECT_EQ(Split(""), (EntryList{""}));
  EXPECT_EQ(Split("   "), (EntryList{""}));
  EXPECT_EQ(Split(" C:\\a ; C:\\b "), (EntryList{"C:\\a", "C:\\b"}));
  EXPECT_EQ(Split("\tMes documents\r\n;x"), (EntryList{"Mes documents", "x"}));
  EXPECT_TRUE(files.opened.empty());
}

TEST(SplitEntryList, RefusesAFilledTarget) {
  EntryList list{"déjà"};
  try {
    SplitEntryList("a;b", ';', list);
    FAIL() << "no failure raised";
  } catch (const VeltrixError& e) {
    EXPECT_EQ(e.what(), Utf8ToAnsi("Liste d'entrée non vide ... (HolyCoreUnit, ligne 78)"));
  }
  EXPECT_EQ(list, (EntryList{"déjà"}));
}

TEST(SplitEntryList, ListFilesGiveTheirLinesInPlace) {
  ListFilesDouble files;
  files.files["sources.txt"] = "un\r\ndeux\rtrois\nquatre";
  files.files["vide.txt"] = "";
  EXPECT_EQ(Split("C:\\www;file:sources.txt;fin"),
            (EntryList{"C:\\www", "un", "deux", "trois", "quatre", "fin"}));
  EXPECT_EQ(Split("FILE:sources.txt"), Split("File:sources.txt"));
  EXPECT_EQ(Split("file:vide.txt"), EntryList{});
  // The entry is trimmed before the prefix is looked for, not after.
  EXPECT_EQ(Split("  file:vide.txt"), EntryList{});
  EXPECT_THROW(Split("file: vide.txt"), VeltrixError);
  EXPECT_EQ(files.opened.back(), " vide.txt");
}

TEST(SplitEntryList, ListLinesAreTakenAsRead) {
  ListFilesDouble files;
  files.files["l.txt"] = "\xEF\xBB\xBF" "premier\r\n\r\n  blancs  \r\nfile:autre.txt\n\n";
  files.files["nul.txt"] = std::string("a\nb\0c\nd", 7);
  EXPECT_EQ(Split("file:l.txt"),
            (EntryList{"\xEF\xBB\xBF" "premier", "", "  blancs  ", "file:autre.txt", ""}));
  EXPECT_EQ(Split("file:nul.txt"), (EntryList{"a", "b"}));
  EXPECT_EQ(files.opened, (std::vector<std::string>{"l.txt", "nul.txt"}));  // no nesting
}

TEST(SplitEntryList, AMissingListFileIsRaisedAfterTheEarlierEntries) {
  ListFilesDouble files;
  EntryList list;
  try {
    SplitEntryList("a;file:absent.txt;b", ';', list);
    FAIL() << "no failure raised";
  } catch (const VeltrixError& e) {
    EXPECT_EQ(e.what(), std::string("Impossible d'ouvrir le fichier \"<dossier>absent.txt\". "
                                    "Fichier introuvable."));
  }
  EXPECT_EQ(list, (EntryList{"a"}));
}

// The real file layer: a relative name is taken from the current folder.
TEST(SplitEntryList, ReadsARealListFile) {
  test::TempDir dir;
  dir.Write("liste.txt", "x\r\ny\r\n");
  EXPECT_EQ(Split("file:" + (dir / "liste.txt")), (EntryList{"x", "y"}));
  EXPECT_THROW(Split("file:" + (dir / "absente.txt")), VeltrixError);
}

TEST(UpperAscii, ChangesOnlyAsciiLetters) {
  EXPECT_EQ(UpperAscii("abz-AZ09_\xE9t\xE9"), "ABZ-AZ09_\xE9T\xE9");
}

}  // namespace
}  // namespace vx
