#include <gtest/gtest.h>

#include "core/HolyCoreUnit.h"

namespace vx {
namespace {

using Args = std::vector<std::string>;

TEST(CutArguments, BlanksAndControlCharactersSeparate) {
  EXPECT_EQ(CutArguments("prog  a\tb\r\nc\x01" "d"), (Args{"prog", "a", "b", "c", "d"}));
  EXPECT_EQ(CutArguments("   "), Args{});
  EXPECT_EQ(CutArguments(""), Args{});
}

TEST(CutArguments, QuotesGroupAndAreDropped) {
  EXPECT_EQ(CutArguments("\"C:\\Program Files\\V.exe\" \"a b\"c d"),
            (Args{"C:\\Program Files\\V.exe", "a bc", "d"}));
  // A quoted stretch may start inside an argument and the end of the line closes it.
  EXPECT_EQ(CutArguments("p x\"y z"), (Args{"p", "xy z"}));
  // Accented bytes are ordinary characters, not separators.
  EXPECT_EQ(CutArguments("p \xE9t\xE9"), (Args{"p", "\xE9t\xE9"}));
}

TEST(CutArguments, EmptyQuotePairsWhereAnArgumentBeginsAreSkipped) {
  EXPECT_EQ(CutArguments("p \"\" a \"\"\"\" b"), (Args{"p", "a", "b"}));
  EXPECT_EQ(CutArguments("p \"\"x"), (Args{"p", "x"}));
  // Inside an argument an empty pair only drops out.
  EXPECT_EQ(CutArguments("p a\"\"b"), (Args{"p", "ab"}));
}

TEST(CommandLineHasSwitch, WholeRestMatchesInAnyCase) {
  const std::vector<std::string> silent{"SILENT"};
  EXPECT_TRUE(CommandLineHasSwitch("p a -silent b", silent));
  EXPECT_TRUE(CommandLineHasSwitch("p -SILENT", silent));
  EXPECT_TRUE(CommandLineHasSwitch("p \"-Silent\"", silent));
  EXPECT_FALSE(CommandLineHasSwitch("p SILENT", silent));
  EXPECT_FALSE(CommandLineHasSwitch("p --SILENT", silent));
  EXPECT_FALSE(CommandLineHasSwitch("p -SILENTX", silent));
  EXPECT_FALSE(CommandLineHasSwitch("p -", silent));
  // The program's own name is never a switch.
  EXPECT_FALSE(CommandLineHasSwitch("-silent a b", silent));
}

TEST(CommandLineHasSwitch, HelpSwitches) {
  const std::vector<std::string> help{"?", "HELP", "-HELP"};
  EXPECT_TRUE(CommandLineHasSwitch("p -?", help));
  EXPECT_TRUE(CommandLineHasSwitch("p src -help", help));
  EXPECT_TRUE(CommandLineHasSwitch("p --HELP", help));
  EXPECT_FALSE(CommandLineHasSwitch("p help", help));
  EXPECT_FALSE(CommandLineHasSwitch("p -helpme", help));
  EXPECT_FALSE(CommandLineHasSwitch("p ---help", help));
  // "/" introduces a switch only where it cannot begin a path.
  EXPECT_EQ(CommandLineHasSwitch("p /?", help), IsSwitchChar('/'));
  EXPECT_EQ(CommandLineHasSwitch("p /-help", help), IsSwitchChar('/'));
}

}  // namespace
}  // namespace vx
