#include <gtest/gtest.h>

#include <cstring>

#include "core/Error.h"
#include "core/HolyCoreUnit.h"
#include "tests/unit/ListFilesDouble.h"
#include "tests/unit/ScopedEnv.h"

namespace vx {
namespace {

// "/" introduces switches on Windows, where the examples are written with it.
const std::string kSw = IsSwitchChar('/') ? "/" : "-";
const std::string kSep(1, kPathSeparator);

// The flags of the single-letter switches and of FORCE, written on every run.
std::vector<uint8_t*> SwitchFlags(CopyRec& r) {
  return {&r.PromptCreate, &r.ArchiveOnly,  &r.CopyHidden,    &r.SwitchI,          &r.ExistingOnly,
          &r.CopySubdirs,  &r.TreeOnly,     &r.KeepAttributes, &r.OverwriteReadOnly, &r.CopyEmptySubdirs,
          &r.ArchiveClear, &r.ConfirmStart, &r.ListOnly,      &r.Force,            &r.Quiet,
          &r.IgnoreErrors, &r.ShowBothNames, &r.ShortNames,   &r.Verify,           &r.DeleteSource,
          &r.KeepSourceDirs};
}

class FillCopyRecTest : public ::testing::Test {
 protected:
  FillCopyRecTest() {
    parsed_.exclusions.clear();
    parsed_.inclusions.clear();
    parsed_.extras = ExtraOptions();
    files_.current = kSep + "travail" + kSep + "courant" + kSep;
  }
  ~FillCopyRecTest() override {
    parsed_.exclusions.clear();
    parsed_.inclusions.clear();
  }

  // Parses into a record that starts as the caller's bytes: zero, or a pattern.
  bool Parse(const std::string& arguments, unsigned char fill = 0) {
    std::memset(&rec_, fill, sizeof rec_);
    return FillCopyRecFrom(files_, parsed_, rec_, arguments.c_str());
  }
  // The record FillCopyRec makes from a zeroed one with no switch at all.
  static CopyRec Plain(const std::string& source, const std::string& destination) {
    CopyRec rec;
    std::memset(&rec, 0, sizeof rec);
    std::strcpy(rec.Source, source.c_str());
    std::strcpy(rec.Destination, destination.c_str());
    rec.LogMode = 1;
    rec.LogLines = -1;
    rec.NoDateFilter = 1;
    rec.NoSizeFilter = 1;
    return rec;
  }
  // Byte comparison of the whole record, naming the first offset that differs.
  void ExpectRecord(const CopyRec& expected) {
    const auto* a = reinterpret_cast<const unsigned char*>(&expected);
    const auto* b = reinterpret_cast<const unsigned char*>(&rec_);
    for (std::size_t i = 0; i < sizeof(CopyRec); ++i)
      if (a[i] != b[i]) {
        ADD_FAILURE() << "first difference at offset " << i << ": expected " << int(a[i])
                      << ", got " << int(b[i]);
        return;
      }
  }
  std::string RaisedBy(const std::string& arguments) {
    try {
      Parse(arguments);
    } catch (const VeltrixError& e) {
      return e.what();
    }
    return "(rien)";
  }
  std::string CurrentFolder() const {
    return kSep + "travail" + kSep + "courant";
  }
  double Today() const {
    LocalDateTime t = LocalNow();
    return EncodeDayNumber({t.year, t.month, t.day});
  }

  test::ScopedEnv locale_{"LC_ALL", "C"};  // dd/mm/yyyy on Linux; Wine runs as a French system
  test::ListFilesDouble files_;
  ParsedState parsed_;
  CopyRec rec_;
};

// ---- The help page's examples ------------------------------------------------------

TEST_F(FillCopyRecTest, HelpExampleCopyIntoTheCurrentFolder) {
  ASSERT_TRUE(Parse("D:\\TMP " + kSw + "E"));
  CopyRec expected = Plain("D:\\TMP", CurrentFolder());
  expected.CopyEmptySubdirs = 1;
  ExpectRecord(expected);
}

TEST_F(FillCopyRecTest, HelpExampleDateOnOrBefore) {
  ASSERT_TRUE(Parse("\"C:\\Source\" \"C:\\Cible\" " + kSw + "D:23/10/2003-="));
  CopyRec expected = Plain("C:\\Source", "C:\\Cible");
  expected.NoDateFilter = 0;
  expected.FilterDate = 37917.0;
  expected.DateBefore = 1;
  expected.DateEqual = 1;
  ExpectRecord(expected);
}

TEST_F(FillCopyRecTest, HelpExampleListFileSource) {
  ASSERT_TRUE(Parse("\"C:\\www;file:C:\\FichiersConfigApache.txt\" \"\\\\Backup\\Web\" " + kSw +
                    "E " + kSw + "M"));
  CopyRec expected = Plain("C:\\www;file:C:\\FichiersConfigApache.txt", "\\\\Backup\\Web");
  expected.CopyEmptySubdirs = 1;
  expected.ArchiveClear = 1;
  ExpectRecord(expected);
  EXPECT_TRUE(files_.opened.empty());  // sources are split by the session, not here
}

TEST_F(FillCopyRecTest, HelpExampleOldFilesMoved) {
  test::ScopedEnv windir("windir", "C:\\WINDOWS");
  const double before = Today();
  ASSERT_TRUE(Parse("\"%windir%\\Temp\" \"C:\\Temp\" " + kSw + "D:+3 " + kSw + "S " + kSw + "C " +
                    kSw + "F " + kSw + "X"));
  CopyRec expected = Plain("C:\\WINDOWS\\Temp", "C:\\Temp");
  expected.NoDateFilter = 0;
  expected.FilterDate = rec_.FilterDate;
  expected.DateBefore = 1;
  expected.CopySubdirs = expected.IgnoreErrors = expected.ShowBothNames = 1;
  expected.DeleteSource = 1;
  ExpectRecord(expected);
  // Three days before today at 00:00 (today read on either side of midnight).
  EXPECT_TRUE(rec_.FilterDate == before - 3 || rec_.FilterDate == Today() - 3) << rec_.FilterDate;
}

TEST_F(FillCopyRecTest, HelpExampleIncludeMask) {
  test::ScopedEnv windir("windir", "C:\\WINDOWS");
  ASSERT_TRUE(Parse("\"%windir%\" \"C:\\A_Dll_Backup\" " + kSw + "S " + kSw + "INCLUDE:a*.dll"));
  CopyRec expected = Plain("C:\\WINDOWS", "C:\\A_Dll_Backup");
  expected.CopySubdirs = 1;
  expected.HasInclude = 1;
  std::strcpy(expected.IncludeMasks, "A*.DLL");
  ExpectRecord(expected);
  EXPECT_EQ(parsed_.inclusions, EntryList{"A*.DLL"});
  EXPECT_TRUE(parsed_.exclusions.empty());
}

TEST_F(FillCopyRecTest, HelpExampleSelectiveDelete) {
  ASSERT_TRUE(Parse("\"c:\\temp\\*.tmp;c:\\temp\\*.ini\" nul " + kSw + "SIZE:+2048 " + kSw + "x " +
                    kSw + "EXCLUDE:a*.*;b*.*"));
  CopyRec expected = Plain("c:\\temp\\*.tmp;c:\\temp\\*.ini", "NUL");
  expected.NoSizeFilter = 0;
  expected.FilterSize = 2048;
  expected.SizeAbove = 1;
  expected.DeleteSource = 1;
  expected.HasExclude = 1;
  std::strcpy(expected.ExcludeMasks, "A*.*;B*.*");
  ExpectRecord(expected);
  EXPECT_EQ(parsed_.exclusions, (EntryList{"A*.*", "B*.*"}));
}

// ---- The record ------------------------------------------------------------------------

TEST_F(FillCopyRecTest, FieldsNoSwitchCarriesKeepTheCallersBytes) {
  ASSERT_TRUE(Parse("src dst " + kSw + "SIZE", 0xA5));
  CopyRec expected;
  std::memset(&expected, 0xA5, sizeof expected);
  std::memset(expected.Source, 0, kTextFieldSize);
  std::memset(expected.Destination, 0, kTextFieldSize);
  std::strcpy(expected.Source, "src");
  std::strcpy(expected.Destination, "dst");
  expected.Silent = expected.SyncMode = 0;
  expected.LogMode = 1;
  expected.LogLines = -1;
  expected.NoDateFilter = 1;
  expected.NoSizeFilter = 0;  // SIZE without a sign: only this
  expected.HasExclude = expected.HasInclude = 0;
  for (uint8_t* flag : SwitchFlags(expected)) *flag = 0;
  ExpectRecord(expected);
}

TEST_F(FillCopyRecTest, EveryFlagSwitch) {
  ASSERT_TRUE(Parse("src dst -a -c -e -f -h -i -k -l -m -n -p -q -r -s -t -u -v -w -x -y "
                    "-force -silent"));
  CopyRec expected = Plain("src", "dst");
  for (uint8_t* flag : SwitchFlags(expected)) *flag = 1;
  expected.Silent = 1;
  ExpectRecord(expected);
}

TEST_F(FillCopyRecTest, AFailingSwitchLeavesTheLaterOnesUnset) {
  EXPECT_THROW(Parse("src dst -S -A -D:xx", 0xA5), VeltrixError);
  EXPECT_EQ(rec_.ArchiveOnly, 1);        // before the date switch
  EXPECT_EQ(rec_.CopySubdirs, 0xA5);     // after it
  EXPECT_EQ(std::string(rec_.Source), "src");
}

// ---- Refusals and cutting ------------------------------------------------------------------

TEST_F(FillCopyRecTest, Refusals) {
  for (const char* line : {"", "  \r\n ", "-S", "-S src",
                                  "src -S dst", "src dst third", "src dst -S third"})
    EXPECT_FALSE(Parse(line)) << line;
  if (IsSwitchChar('/')) {
    EXPECT_FALSE(Parse("/S"));
  }
  // Tested before dequoting: a quoted source may begin with "-".
  ASSERT_TRUE(Parse("\"-x\" dst"));
  EXPECT_STREQ(rec_.Source, "-x");
}

TEST_F(FillCopyRecTest, QuotesGroupAndTabsDoNotSeparate) {
  ASSERT_TRUE(Parse("l'\xE9t\xE9 C:\\Cible -S"));
  EXPECT_STREQ(rec_.Source, "l'\xE9t\xE9 C:\\Cible -S");
  EXPECT_EQ(std::string(rec_.Destination), CurrentFolder());
  EXPECT_EQ(rec_.CopySubdirs, 0);

  ASSERT_TRUE(Parse("a\tb -S"));
  EXPECT_STREQ(rec_.Source, "a\tb");
  EXPECT_EQ(rec_.CopySubdirs, 1);

  ASSERT_TRUE(Parse("\r\n\nsrc\r\n  dst\n-S\r"));
  EXPECT_STREQ(rec_.Source, "src");
  EXPECT_STREQ(rec_.Destination, "dst");
  EXPECT_EQ(rec_.CopySubdirs, 1);

  ASSERT_TRUE(Parse("\"mes 'docs\" \"l'autre\"\"x\"\"\" -LOG:\"a b\""));
  EXPECT_STREQ(rec_.Source, "mes 'docs");
  EXPECT_STREQ(rec_.Destination, "l'autre\"x\"");
  // A quoted stretch inside a switch keeps its quotes: it is not dequoted.
  EXPECT_EQ(std::string(rec_.LogFile), kFileNamesCaseSensitive ? "\"a b\"" : "\"A B\"");
}

TEST_F(FillCopyRecTest, Dequoting) {
  ASSERT_TRUE(Parse("\"a\"\"b\" \"C:\\Mes documents\"\\x"));
  EXPECT_STREQ(rec_.Source, "a\"b");
  EXPECT_STREQ(rec_.Destination, "C:\\Mes documents");
  ASSERT_TRUE(Parse("\"\" \"unclosed"));
  EXPECT_STREQ(rec_.Source, "\"\"");  // would come out empty: kept as typed
  EXPECT_STREQ(rec_.Destination, "unclosed");
  ASSERT_TRUE(Parse("\"\"x \""));
  EXPECT_STREQ(rec_.Source, "\"\"x");
  EXPECT_STREQ(rec_.Destination, "\"");
}

// ---- Switch names --------------------------------------------------------------------------------

TEST_F(FillCopyRecTest, SwitchNamesIgnoreCaseAndOnlySwitchItemsCount) {
  ASSERT_TRUE(Parse("src x -silent " + kSw + "Force -bisynchronize - -ZZZ"));
  EXPECT_EQ(rec_.Silent, 1);
  EXPECT_EQ(rec_.Force, 1);
  EXPECT_EQ(rec_.SyncMode, 2);
  EXPECT_EQ(rec_.DeleteSource, 0);  // the destination x is no switch
  EXPECT_STREQ(rec_.Destination, "x");
}

TEST_F(FillCopyRecTest, PairsAndSyncModes) {
  ASSERT_TRUE(Parse("src -A -M -S -E -Q -F"));
  EXPECT_TRUE(rec_.ArchiveOnly && rec_.ArchiveClear && rec_.CopySubdirs && rec_.CopyEmptySubdirs &&
              rec_.Quiet && rec_.ShowBothNames);
  ASSERT_TRUE(Parse("src -SYNCHRONIZE"));
  EXPECT_EQ(rec_.SyncMode, 1);
  ASSERT_TRUE(Parse("src -BISYNCHRONIZE -SYNCHRONIZE"));
  EXPECT_EQ(rec_.SyncMode, 2);
  ASSERT_TRUE(Parse("src -SYNCHRONIZE -BISYNCHRONIZE"));
  EXPECT_EQ(rec_.SyncMode, 2);
  ASSERT_TRUE(Parse("src -SYNC"));
  EXPECT_EQ(rec_.SyncMode, 0);
}

// ---- Date switch ----------------------------------------------------------------------------------

TEST_F(FillCopyRecTest, RelativeDates) {
  struct Case { const char* sw; int days; bool before, equal, after; };
  for (const Case& c : {Case{"-D:+3", 3, true, false, false}, Case{"-D:-3", 3, false, false, true},
                        Case{"-D:=0", 0, false, true, false}, Case{"-D:+=3", 3, true, true, false},
                        Case{"-D:+1a2j", 12, true, false, false}}) {
    const double before = Today();
    ASSERT_TRUE(Parse(std::string("src ") + c.sw)) << c.sw;
    EXPECT_EQ(rec_.NoDateFilter, 0);
    EXPECT_TRUE(rec_.FilterDate == before - c.days || rec_.FilterDate == Today() - c.days) << c.sw;
    EXPECT_EQ(rec_.DateBefore, c.before) << c.sw;
    EXPECT_EQ(rec_.DateEqual, c.equal) << c.sw;
    EXPECT_EQ(rec_.DateAfter, c.after) << c.sw;
  }
}

TEST_F(FillCopyRecTest, AbsoluteDates) {
  ASSERT_TRUE(Parse("src dst -D:1/2/2003"));
  EXPECT_EQ(rec_.FilterDate, EncodeDayNumber({2003, 2, 1}));
  EXPECT_TRUE(!rec_.DateBefore && rec_.DateEqual && rec_.DateAfter);
  ASSERT_TRUE(Parse("src dst -D:23/10/2003+"));
  EXPECT_EQ(rec_.FilterDate, 37917.0);
  EXPECT_TRUE(!rec_.DateBefore && !rec_.DateEqual && rec_.DateAfter);
  ASSERT_TRUE(Parse("src dst -D:23/10/2003=-xyz"));  // only two suffix characters count
  EXPECT_TRUE(rec_.DateBefore && rec_.DateEqual && !rec_.DateAfter);
}

TEST_F(FillCopyRecTest, DatesThatDoNotConvert) {
  const std::string date = Utf8ToAnsi("' ne correspond pas à une date et une heure correctes");
  const std::string integer = Utf8ToAnsi("' n'est pas une valeur entière correcte");
  EXPECT_EQ(RaisedBy("src dst -D:1/2/2003+"), "'1/2/2003+" + date);
  EXPECT_EQ(RaisedBy("src dst -D:31/02/2003"), "'31/02/2003" + date);
  EXPECT_EQ(RaisedBy("src dst -D"), "'" + date);
  EXPECT_EQ(RaisedBy("src dst -D:"), "'" + date);
  // The leftmost switch beginning with D is the date switch.
  EXPECT_EQ(RaisedBy("src dst -DUMMY -D:+3"), "'MMY" + date);
  EXPECT_EQ(RaisedBy("src dst -D:+"), "'" + integer);
  EXPECT_EQ(RaisedBy("src dst -D:-x9999999999"), "'9999999999" + integer);
}

// ---- Size and log switches -----------------------------------------------------------------------

TEST_F(FillCopyRecTest, SizeSwitch) {
  ASSERT_TRUE(Parse("src -SIZE:+2K"));  // no units: 2 bytes
  EXPECT_EQ(rec_.FilterSize, 2);
  EXPECT_TRUE(rec_.SizeAbove && !rec_.SizeEqual && !rec_.SizeBelow);
  ASSERT_TRUE(Parse("src -SIZE:-=2147483647"));
  EXPECT_EQ(rec_.FilterSize, 2147483647);
  EXPECT_TRUE(!rec_.SizeAbove && rec_.SizeEqual && rec_.SizeBelow);
  ASSERT_TRUE(Parse("src -SIZE:5 -SIZE:+9", 0xA5));  // leftmost only; no sign at position 6
  EXPECT_EQ(rec_.NoSizeFilter, 0);
  EXPECT_EQ(static_cast<uint32_t>(rec_.FilterSize), 0xA5A5A5A5u);
  EXPECT_EQ(rec_.SizeAbove, 0xA5);
  const std::string integer = Utf8ToAnsi("' n'est pas une valeur entière correcte");
  EXPECT_EQ(RaisedBy("src -SIZE:+K"), "'" + integer);
  EXPECT_EQ(RaisedBy("src -SIZE:+2147483648"), "'2147483648" + integer);
}

TEST_F(FillCopyRecTest, LogSwitch) {
  ASSERT_TRUE(Parse("src -LOG:Copie.log"));
  EXPECT_STREQ(rec_.LogFile, kFileNamesCaseSensitive ? "Copie.log" : "COPIE.LOG");
  EXPECT_EQ(rec_.LogMode, 1);
  EXPECT_EQ(rec_.LogLines, -1);
  ASSERT_TRUE(Parse("src -LOG:F;0"));
  EXPECT_STREQ(rec_.LogFile, "F");
  EXPECT_EQ(rec_.LogMode, 0);
  ASSERT_TRUE(Parse("src -LOG:F;2;500 -LOG:G"));
  EXPECT_EQ(rec_.LogMode, 2);
  EXPECT_EQ(rec_.LogLines, 500);
  ASSERT_TRUE(Parse("src -LOG:F;300;-1"));  // low 8 bits of the mode
  EXPECT_EQ(rec_.LogMode, 44);
  ASSERT_TRUE(Parse("src -LOG:Journal.log;2;7"));
  EXPECT_STREQ(rec_.LogFile, kFileNamesCaseSensitive ? "Journal.log" : "JOURNAL.LOG");
  EXPECT_EQ(rec_.LogLines, 7);
  const std::string integer = Utf8ToAnsi("' n'est pas une valeur entière correcte");
  // The line count is all that follows the second ";". The numbers are read
  // from the upper-cased switch on every system: only the name keeps its case.
  EXPECT_EQ(RaisedBy("src -LOG:F;2;-1;x"), "'-1;X" + integer);
  EXPECT_EQ(RaisedBy("src -LOG:a.log;2;x"), "'X" + integer);
  EXPECT_EQ(RaisedBy("src -LOG:F;;500"), "'" + integer);
  EXPECT_EQ(RaisedBy("src -LOG:;;500"), "'" + integer);
  EXPECT_EQ(RaisedBy("src -LOG:F;2;"), "'" + integer);
  EXPECT_EQ(RaisedBy("src -LOG:F;deux"), "'DEUX" + integer);
}

// ---- Masks --------------------------------------------------------------------------------------------

TEST_F(FillCopyRecTest, MaskListFiles) {
  const std::string name = kFileNamesCaseSensitive ? "Masques.txt" : "MASQUES.TXT";
  files_.files[name] = "*.bak\r\n~*\r\n";
  ASSERT_TRUE(Parse("src -EXCLUDE:file:Masques.txt;c* -EXCLUDE:d* -INCLUDE"));
  EXPECT_EQ(files_.opened, std::vector<std::string>{name});
  EXPECT_EQ(parsed_.exclusions, (EntryList{"*.bak", "~*", "C*"}));  // list lines keep their case
  EXPECT_STREQ(rec_.ExcludeMasks,
               kFileNamesCaseSensitive ? "file:Masques.txt;C*" : "FILE:MASQUES.TXT;C*");
  EXPECT_EQ(rec_.HasInclude, 1);
  EXPECT_EQ(parsed_.inclusions, EntryList{""});
  EXPECT_STREQ(rec_.IncludeMasks, "");
}

TEST_F(FillCopyRecTest, MaskListsAreFilledOncePerLoad) {
  ASSERT_TRUE(Parse("src -EXCLUDE:a"));
  EXPECT_EQ(RaisedBy("src -EXCLUDE:b"),
            Utf8ToAnsi("Liste d'entrée non vide ... (HolyCoreUnit, ligne 78)"));
  EXPECT_EQ(parsed_.exclusions, EntryList{"A"});
}

// ---- Whole-word switches without a field --------------------------------------------------------

TEST_F(FillCopyRecTest, NewSwitchesLeaveTheRecordAsWithoutThem) {
  ASSERT_TRUE(Parse("src dst -S -D:+3", 0xA5));
  const CopyRec without = rec_;
  parsed_.extras = ExtraOptions();
  ASSERT_TRUE(Parse("src dst -owner -S -XATTR -D:+3 -HardLinks -THREADS:8 -STRICT", 0xA5));
  ExpectRecord(without);  // reserved bytes included: they keep the caller's 0xA5
  const ExtraOptions& extra = parsed_.extras;
  EXPECT_TRUE(extra.keepOwner && extra.copyXattrs && extra.hardLinks && extra.strict);
  EXPECT_EQ(extra.threads, 8);
  // Each accepted command line sets them all again.
  ASSERT_TRUE(Parse("src dst -XATTR"));
  EXPECT_TRUE(parsed_.extras.copyXattrs);
  EXPECT_FALSE(parsed_.extras.keepOwner || parsed_.extras.strict);
  EXPECT_EQ(parsed_.extras.threads, 0);
}

TEST_F(FillCopyRecTest, ThreadCounts) {
  ASSERT_TRUE(Parse("src -THREADS:1 -THREADS:9"));
  EXPECT_EQ(parsed_.extras.threads, 1);  // the first one counts, as for -D
  ASSERT_TRUE(Parse("src -THREADS:64"));
  EXPECT_EQ(parsed_.extras.threads, 64);
  EXPECT_EQ(RaisedBy("src -THREADS:0"),
            Utf8ToAnsi("'0' n'est pas un nombre de threads correct (1 à 64)"));
  EXPECT_EQ(RaisedBy("src -THREADS:65"),
            Utf8ToAnsi("'65' n'est pas un nombre de threads correct (1 à 64)"));
  EXPECT_EQ(RaisedBy("src -threads:deux"),
            Utf8ToAnsi("'DEUX' n'est pas une valeur entière correcte"));
  EXPECT_EQ(parsed_.extras.threads, 64);  // a failed parse stores none
  ASSERT_TRUE(Parse("src -THREADS"));           // no value: not this switch, ignored
  EXPECT_EQ(parsed_.extras.threads, 0);
}

TEST_F(FillCopyRecTest, StrictRefusesOnlyWhatTheParserDoesNotKnow) {
  std::string reason;
  const auto refusedFor = [&](const std::string& line) {
    reason.clear();
    std::memset(&rec_, 0, sizeof rec_);
    return FillCopyRecFrom(files_, parsed_, rec_, line.c_str(), &reason) ? std::string("(acceptée)")
                                                                 : reason;
  };
  for (const char* unknown : {"--dry-run", "-Z", "-SX", "-SILENTX", "-", "-OWNERS", "-VERSION"})
    EXPECT_EQ(refusedFor(std::string("src dst -S -STRICT ") + unknown),
              std::string("Option inconnue : \"") + unknown + "\".");
  // Without -STRICT they are ignored, as ever.
  EXPECT_EQ(refusedFor("src dst --dry-run -Z -"), "(acceptée)");
  EXPECT_EQ(refusedFor("src dst -STRICT -a -c -e -f -h -i -k -l -m -n -p -q -r -s -t -u -v -w -x "
                       "-y -force -silent -synchronize -bisynchronize -owner -xattr -hardlinks "
                       "-? -help --help --version -D:+1 -DX -SIZE:+1 -LOG:j.log -EXCLUDE:a "
                       "-INCLUDE:b -THREADS:2"),
            "(acceptée)");
  // A refusal stores nothing: the accepted line's lists and options stay.
  EXPECT_EQ(refusedFor("src dst -STRICT -EXCLUDE:c -THREADS:3 --dry-run"),
            "Option inconnue : \"--dry-run\".");
  EXPECT_EQ(parsed_.exclusions, EntryList{"A"});
  EXPECT_EQ(parsed_.extras.threads, 2);
  // The other refusals say why too.
  EXPECT_EQ(refusedFor(""), "Aucune source dans la ligne de commande.");
  EXPECT_EQ(refusedFor("-S src"),
            Utf8ToAnsi("La source doit précéder les options : \"-S\" vient en premier."));
  EXPECT_EQ(refusedFor("src dst third"),
            "Argument en trop : \"third\" (la destination suit directement la source).");
}

// ---- Source and destination texts ---------------------------------------------------------------

TEST_F(FillCopyRecTest, EnvironmentAndDestinationForms) {
  test::ScopedEnv var("VX_RACINE", kSep + "donn\xE9" "es");
  ASSERT_TRUE(Parse("%VX_RACINE%" + kSep + ";%VX_INCONNUE_7% %VX_RACINE%" + kSep));
  EXPECT_EQ(std::string(rec_.Source), kSep + "donn\xE9" "es" + kSep + ";%VX_INCONNUE_7%");
  EXPECT_EQ(std::string(rec_.Destination), kSep + "donn\xE9" "es");  // one trailing separator goes
  for (const char* nul : {"nul", "NuL", "\"NUL\""}) {
    ASSERT_TRUE(Parse(std::string("src ") + nul));
    EXPECT_STREQ(rec_.Destination, "NUL");
  }
  test::ScopedEnv nul("VX_NUL", "nul");
  ASSERT_TRUE(Parse("src %VX_NUL%"));  // the reserved name is tested before expansion
  EXPECT_STREQ(rec_.Destination, "nul");
  ASSERT_TRUE(Parse("src " + kSep));  // the root keeps its separator
  EXPECT_EQ(std::string(rec_.Destination), kSep);
  files_.current = kSep;
  ASSERT_TRUE(Parse("src"));
  EXPECT_EQ(std::string(rec_.Destination), kSep);
}

// Texts that do not fit are refused whole: a shortened path names another file.
TEST_F(FillCopyRecTest, TextsThatDoNotFitAreRefused) {
  const std::string longest(2048, 'l');
  ASSERT_TRUE(Parse("src -LOG:" + longest));
  EXPECT_EQ(std::strlen(rec_.LogFile), 2048u);
  EXPECT_EQ(RaisedBy("src -LOG:" + longest + "x;2"),
            Utf8ToAnsi("Texte trop long pour le fichier journal (2049 caractères, 2048 au plus)."));
  EXPECT_EQ(RaisedBy("src -INCLUDE:" + longest + "x"),
            Utf8ToAnsi("Texte trop long pour les masques d'inclusion (2049 caractères, 2048 au plus)."));
  EXPECT_TRUE(parsed_.inclusions.empty());
  const std::string expansion =
      Utf8ToAnsi(" dépasse 1023 caractères.");
  EXPECT_EQ(RaisedBy(std::string(1024, 's')),
            Utf8ToAnsi("L'expansion des variables d'environnement de la source") + expansion);
  EXPECT_EQ(RaisedBy("src " + std::string(5000, 'd')),
            Utf8ToAnsi("L'expansion des variables d'environnement de la destination") + expansion);
  ASSERT_TRUE(Parse(std::string(1023, 's')));
}

}  // namespace
}  // namespace vx
