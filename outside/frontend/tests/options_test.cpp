// rzd-scan's command line and the settings it makes of it.
#include "scan_options.h"
#include "settings_choice.h"
#include "scan_script.h"

#include "foundation/xml_store.h"
#include "platform/text.h"

#include <gtest/gtest.h>

namespace rzd::frontend {
namespace {

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  for (char c : line + " ") {
    if (c != ' ') {
      word.push_back(c);
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  return words;
}

TEST(ScanOptionsTest, LinesAreReadOrRefusedWithTheirReason) {
  const struct {
    const char* line;
    const char* error;  // empty: accepted
  } kCases[] = {
      {"list", ""},
      {"scan --out pages", ""},
      {"scan --out pages --unit 9 --source duplex --mode gray --dpi 300 --jpeg --pages 3", ""},
      {"", "no command given"},
      {"list --unit 1", "list takes no options"},
      {"print", "unknown command 'print'"},
      {"scan", "scan needs --out DIR"},
      {"scan --out", "--out needs a value"},
      {"scan --out d --unit 10", "--unit takes a number from 0 to 9"},
      {"scan --out d --unit -1", "--unit takes a number from 0 to 9"},
      {"scan --out d --source left", "--source takes front, back or duplex"},
      {"scan --out d --mode bw", "--mode takes lineart, gray or color"},
      {"scan --out d --dpi 0", "--dpi takes a positive number"},
      {"scan --out d --dpi 3x", "--dpi takes a positive number"},
      {"scan --out d --pages 0", "--pages takes a positive number"},
      {"scan --out d --mode lineart --jpeg", "--jpeg needs --mode gray or color"},
      {"scan --out d --colour", "unknown option '--colour'"},
  };
  for (const auto& c : kCases) {
    const ParsedCommand parsed = ParseCommandLine(Words(c.line));
    EXPECT_EQ(parsed.error, c.error) << c.line;
    EXPECT_EQ(parsed.command.has_value(), std::string(c.error).empty()) << c.line;
  }
  const ScanOptions o = ParseCommandLine(Words("scan --out pages --unit 9 --source back --mode lineart --dpi 600 --pages 3")).command->scan;
  EXPECT_EQ(o.out, "pages");
  EXPECT_EQ(o.unit, 9u);
  EXPECT_EQ(o.source, Source::Back);
  EXPECT_EQ(o.mode, Mode::LineArt);
  EXPECT_EQ(o.dpi, 600u);
  EXPECT_EQ(o.pages, 3u);
  const ScanOptions d = ParseCommandLine(Words("scan --out x")).command->scan;
  EXPECT_EQ(d.source, Source::Front);
  EXPECT_EQ(d.mode, Mode::Color);
  EXPECT_FALSE(d.unit || d.dpi || d.pages || d.jpeg);
}

TEST(ScanOptionsTest, HelpIsAskedForByItsWordsAloneOrInAnOptionsPlace) {
  const struct {
    const char* line;
    bool help;
  } kCases[] = {
      {"help", true},
      {"--help", true},
      {"-h", true},
      {"help scan", true},
      {"list --help", true},
      {"list -h", true},
      {"scan --help", true},
      {"scan --out pages -h", true},
      {"scan --colour --help", false},  // the unknown option before it is the answer
      {"scan --out -h", false},         // a folder named -h
      {"list --help --unit 1", false},
      {"--HELP", false},
      {"-help", false},
  };
  for (const auto& c : kCases) {
    const ParsedCommand parsed = ParseCommandLine(Words(c.line));
    EXPECT_EQ(parsed.command && parsed.command->kind == Command::Help, c.help) << c.line;
  }
  EXPECT_EQ(ParseCommandLine(Words("scan --out -h")).command->scan.out, "-h");
  EXPECT_EQ(ParseCommandLine(Words("--HELP")).error, "unknown command '--HELP'");
}

TEST(SettingsChoiceTest, TheChosenStreamSidesResolutionAndTransferAreTheOnlyOnesSet) {
  ScanOptions options;
  options.source = Source::Back;
  options.mode = Mode::Gray;
  options.dpi = 200;
  const ChosenSettings chosen = ChooseSettings(test::ScriptedSupportedSettings(), options);
  ASSERT_TRUE(chosen.error.empty()) << chosen.error;
  MSXML6StoreSTL store;
  ASSERT_TRUE(store.LoadFromString(chosen.document));
  auto set = [&](const char16_t* id) { return store.SelectNode(u"//Item[@ID='" + std::u16string(id) + u"'][@IsSet='true']"); };
  EXPECT_FALSE(set(u"Front1"));
  EXPECT_TRUE(set(u"Back1"));
  for (const char16_t* id : {u"Color1", u"Mono1", u"Color2", u"Mono2"}) EXPECT_FALSE(set(id)) << ToUtf8(id);
  EXPECT_TRUE(set(u"Gray1"));
  EXPECT_TRUE(set(u"Gray2"));
  std::u16string value;
  ASSERT_TRUE(store.GetNodeText(u"//Item[@ID='Gray2']/Resolutions/Enum/Value[@IsCurrent='true']", value));
  EXPECT_EQ(value, u"200");
  ASSERT_TRUE(store.SelectNode(u"//Item[@ID='Gray2']/Resolutions/Enum/Value[@IsCurrent='true']"));
  EXPECT_FALSE(store.MoveToNextNode());  // one current value
  ASSERT_TRUE(store.GetNodeText(u"//Item[@ID='Gray2']/Format/JPEGTransfer/Enum/Value[@IsCurrent='true']", value));
  EXPECT_EQ(value, u"Off");

  options.dpi = 250;
  EXPECT_EQ(ChooseSettings(test::ScriptedSupportedSettings(), options).error,
            "250 dpi is not offered (100, 150, 200, 300, 400, 600)");
  EXPECT_EQ(ChooseSettings(u"<Scanner/>", options).error, "the unit's settings name no front and back image sources");
  EXPECT_EQ(ChooseSettings(u"not xml", options).error, "the unit's settings document could not be read");
}

}  // namespace
}  // namespace rzd::frontend
