#include "korvane/app/ini_document.h"

#include <gtest/gtest.h>

#include <string>

#include "korvane/app/ini_settings_storage.h"

namespace korvane::app {
namespace {

using namespace std::string_literals;

struct ReadCase {
  const char* name;
  std::string text;
  int port;
  int channel;
  std::uint32_t mask;
};

void PrintTo(const ReadCase& c, std::ostream* out) {
  *out << c.name;
}

class ReadSettings : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadSettings, GivesValuesDefaultsAndRanges) {
  const ReadCase& c = GetParam();
  const ui::WindowSettings settings = ReadWindowSettings(IniDocument::Parse(c.text));
  EXPECT_EQ(settings.CommPort, c.port);
  EXPECT_EQ(settings.Channel, c.channel);
  EXPECT_EQ(settings.ChartValuesMask, c.mask);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadSettings,
    ::testing::Values(
        ReadCase{"Empty", "", 1, 1, 3},
        ReadCase{"Plain", "[GLOBAL]\nCommPort=7\nChannel=2\nChartValuesMask=5\n", 7, 2, 5},
        ReadCase{"PortZero", "[GLOBAL]\nCommPort=0\n", 1, 1, 3},
        ReadCase{"PortLimits", "[GLOBAL]\nCommPort=99\n", 99, 1, 3},
        ReadCase{"Port100", "[GLOBAL]\nCommPort=100\n", 1, 1, 3},
        ReadCase{"PortNegative", "[GLOBAL]\nCommPort=-5\n", 1, 1, 3},
        ReadCase{"PortWord", "[GLOBAL]\nCommPort=abc\n", 1, 1, 3},
        ReadCase{"PortEmpty", "[GLOBAL]\nCommPort=\n", 1, 1, 3},
        ReadCase{"PortTrailingText", "[GLOBAL]\nCommPort=5 ; usb\n", 1, 1, 3},
        ReadCase{"PortPlus", "[GLOBAL]\nCommPort=+8\n", 8, 1, 3},
        ReadCase{"PortHex", "[GLOBAL]\nCommPort=0x0A\n", 10, 1, 3},
        ReadCase{"PortHexUpper", "[GLOBAL]\nCommPort=0X1f\n", 31, 1, 3},
        ReadCase{"HexWithoutDigits", "[GLOBAL]\nCommPort=0x\n", 1, 1, 3},
        ReadCase{"HexBadDigit", "[GLOBAL]\nCommPort=0x1G\n", 1, 1, 3},
        ReadCase{"HexNegative", "[GLOBAL]\nCommPort=-0x5\n", 1, 1, 3},
        ReadCase{"ChannelThree", "[GLOBAL]\nChannel=3\n", 1, 1, 3},
        ReadCase{"ChannelZero", "[GLOBAL]\nChannel=0\n", 1, 1, 3},
        ReadCase{"MaskAllBits", "[GLOBAL]\nChartValuesMask=1023\n", 1, 1, 1023},
        ReadCase{"MaskZero", "[GLOBAL]\nChartValuesMask=0\n", 1, 1, 0},
        ReadCase{"MaskMinusOne", "[GLOBAL]\nChartValuesMask=-1\n", 1, 1, 0xFFFFFFFFu},
        ReadCase{"MaskLowest", "[GLOBAL]\nChartValuesMask=-2147483648\n", 1, 1, 0x80000000u},
        ReadCase{"MaskHex32", "[GLOBAL]\nChartValuesMask=0xFFFFFFFF\n", 1, 1, 0xFFFFFFFFu},
        ReadCase{"MaskHex33Bits", "[GLOBAL]\nChartValuesMask=0x100000000\n", 1, 1, 3},
        ReadCase{"MaskDecimalOverflow", "[GLOBAL]\nChartValuesMask=2147483648\n", 1, 1, 3},
        ReadCase{"Whitespace", "  [ GLOBAL ]  \n  CommPort = 7  \n\tChannel\t=\t2\t\n", 7, 2, 3},
        ReadCase{"LetterCase", "[global]\ncommport=8\nCHANNEL=2\n", 8, 2, 3},
        ReadCase{"DuplicateKeyFirstWins", "[GLOBAL]\nCommPort=4\nCommPort=6\n", 4, 1, 3},
        ReadCase{"DuplicateSections", "[GLOBAL]\nChannel=2\n[GLOBAL]\nCommPort=5\n", 5, 2, 3},
        ReadCase{"OtherSection", "[OTHER]\nCommPort=9\n[GLOBAL]\nChannel=2\n", 1, 2, 3},
        ReadCase{"KeyBeforeAnySection", "CommPort=9\n[GLOBAL]\n", 1, 1, 3},
        ReadCase{"CommentedOut", "[GLOBAL]\n;CommPort=9\n#Channel=2\n", 1, 1, 3},
        ReadCase{"Crlf", "[GLOBAL]\r\nCommPort=12\r\nChannel=2\r\n", 12, 2, 3},
        ReadCase{"NoTrailingNewline", "[GLOBAL]\nCommPort=13", 13, 1, 3},
        ReadCase{"Quoted", "[GLOBAL]\nCommPort=\"14\"\nChannel='2'\n", 14, 2, 3},
        ReadCase{"ByteOrderMark", "\xEF\xBB\xBF[GLOBAL]\nCommPort=15\n", 15, 1, 3},
        ReadCase{"UnclosedHeader", "[GLOBAL\nCommPort=16\n", 1, 1, 3},
        ReadCase{"Binary",
                 "[GLOBAL]\n\0\xff\x01=\x02\nCommPort=\0"
                 "5\n"s,
                 1, 1, 3}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

struct WriteCase {
  const char* name;
  std::string before;
  ui::WindowSettings settings;
  std::string after;
};

void PrintTo(const WriteCase& c, std::ostream* out) {
  *out << c.name;
}

class WriteSettings : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteSettings, ChangesOnlyTheThreeKeys) {
  const WriteCase& c = GetParam();
  IniDocument document = IniDocument::Parse(c.before);
  WriteWindowSettings(document, c.settings);
  EXPECT_EQ(document.Serialize(), c.after);
  // What was written reads back.
  const ui::WindowSettings read = ReadWindowSettings(IniDocument::Parse(c.after));
  EXPECT_EQ(read.CommPort, c.settings.CommPort);
  EXPECT_EQ(read.Channel, c.settings.Channel);
  EXPECT_EQ(read.ChartValuesMask, c.settings.ChartValuesMask);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WriteSettings,
    ::testing::Values(
        WriteCase{"NewFile", "", {1, 1, 3}, "[GLOBAL]\nCommPort=1\nChannel=1\nChartValuesMask=3\n"},
        WriteCase{"InPlaceKeepsSpellingAndSpacing",
                  "; settings\n[Global]\n  commport = 5  \nChannel=1\nX=y\nChartValuesMask=3\n",
                  {7, 2, 1023},
                  "; settings\n[Global]\n  commport = 7  \nChannel=2\nX=y\nChartValuesMask=1023\n"},
        WriteCase{"MissingKeysAppendedInOrder",
                  "[GLOBAL]\nChannel=2\n; ports follow\n\n[PORTS]\nCOM1=/dev/pts/4\n",
                  {4, 2, 3},
                  "[GLOBAL]\nChannel=2\nCommPort=4\nChartValuesMask=3\n; ports follow\n\n"
                  "[PORTS]\nCOM1=/dev/pts/4\n"},
        WriteCase{"EmptySectionAtEnd",
                  "[GLOBAL]",
                  {2, 1, 3},
                  "[GLOBAL]\nCommPort=2\nChannel=1\nChartValuesMask=3\n"},
        WriteCase{"SectionAppendedCrlf",
                  "[OTHER]\r\nA = 1\r\n",
                  {3, 1, 3},
                  "[OTHER]\r\nA = 1\r\n\r\n[GLOBAL]\r\nCommPort=3\r\nChannel=1\r\n"
                  "ChartValuesMask=3\r\n"},
        WriteCase{"SectionAppendedWithoutTrailingNewline",
                  "[OTHER]\nA=1",
                  {3, 1, 3},
                  "[OTHER]\nA=1\n\n[GLOBAL]\nCommPort=3\nChannel=1\nChartValuesMask=3\n"},
        WriteCase{"DuplicateKeyOnlyFirstChanged",
                  "[GLOBAL]\nCommPort=4\nCommPort=6\n",
                  {9, 1, 3},
                  "[GLOBAL]\nCommPort=9\nCommPort=6\nChannel=1\nChartValuesMask=3\n"},
        WriteCase{"MaskHighBitSigned",
                  "[GLOBAL]\nChartValuesMask=0x3\n",
                  {1, 1, 0x80000200u},
                  "[GLOBAL]\nChartValuesMask=-2147483136\nCommPort=1\nChannel=1\n"},
        WriteCase{"QuotedValueReplaced",
                  "[GLOBAL]\nCommPort=\"5\"\n",
                  {6, 1, 3},
                  "[GLOBAL]\nCommPort=6\nChannel=1\nChartValuesMask=3\n"}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

TEST(IniDocument, SerialisesAnyInputUnchanged) {
  const std::string inputs[] = {
      "",
      "\n\n",
      "[A]\r\nb=c\nd\r\n",
      "no newline",
      "\r\r\n\r",
      "\0\xff[\x80]=\0\n"s,
      "\xEF\xBB\xBF[GLOBAL]\nCommPort=1",
  };
  for (const std::string& input : inputs) {
    EXPECT_EQ(IniDocument::Parse(input).Serialize(), input);
  }
}

TEST(IniDocument, SetKeepsTheByteOrderMarkLine) {
  IniDocument document = IniDocument::Parse("\xEF\xBB\xBF[GLOBAL]\nCommPort=1\n");
  document.Set("GLOBAL", "CommPort", "22");
  EXPECT_EQ(document.Serialize(), "\xEF\xBB\xBF[GLOBAL]\nCommPort=22\n");
}

TEST(PortOverrides, ReadsValidComEntriesFirstWins) {
  const IniDocument document = IniDocument::Parse(
      "[GLOBAL]\nCOM2=/not/here\n[ports]\nCOM5=/dev/ttyUSB4\n com7 = /dev/pts/3 \nCOM0=/a\n"
      "COM100=/b\nCOMx=/c\nCOM5=/dup\nCOM8=\nCOM09=/dev/ttyS1\n");
  const std::map<int, std::string> expected = {
      {5, "/dev/ttyUSB4"}, {7, "/dev/pts/3"}, {9, "/dev/ttyS1"}};
  EXPECT_EQ(ReadPortOverrides(document), expected);
}

TEST(PortOverrides, LastLineEndingInALoneCarriageReturnSurvivesASave) {
  // Found by fuzzing: appending the missing section turned the lone CR into a line end, and
  // the override's value changed with it.
  IniDocument document = IniDocument::Parse("[PORTS]\nCOM3=/dev/ttyUSB2\r");
  const auto before = ReadPortOverrides(document);
  EXPECT_EQ(before.at(3), "/dev/ttyUSB2");
  WriteWindowSettings(document, {1, 1, 3});
  EXPECT_EQ(ReadPortOverrides(IniDocument::Parse(document.Serialize())), before);
}

}  // namespace
}  // namespace korvane::app
