// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/app/ini_document.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "korvane/app/ini_settings_storage.h"

namespace korvane::app {
namespace {

using namespace std::string_literals;

TEST(ReadSettings, GivesValuesDefaultsAndRanges) {
  struct Case {
    std::string text;  // after "[GLOBAL]\n" unless it starts with '!'
    int port;
    int channel;
    std::uint32_t mask;
  };
  const Case cases[] = {
      {"", 1, 1, 3},
      {"CommPort=7\nChannel=2\nChartValuesMask=5\n", 7, 2, 5},
      {"CommPort=0\n", 1, 1, 3},
      {"CommPort=99\n", 99, 1, 3},
      {"CommPort=100\n", 1, 1, 3},
      {"CommPort=-5\n", 1, 1, 3},
      {"CommPort=abc\n", 1, 1, 3},
      {"CommPort=5 ; usb\n", 1, 1, 3},
      {"CommPort=+8\n", 8, 1, 3},
      {"CommPort=0x0A\n", 10, 1, 3},
      {"CommPort=0X1f\n", 31, 1, 3},
      {"CommPort=0x1G\n", 1, 1, 3},
      {"CommPort=-0x5\n", 1, 1, 3},
      {"Channel=3\n", 1, 1, 3},
      {"Channel=0\n", 1, 1, 3},
      {"ChartValuesMask=1023\n", 1, 1, 1023},
      {"ChartValuesMask=0\n", 1, 1, 0},
      {"ChartValuesMask=-1\n", 1, 1, 0xFFFFFFFFu},
      {"ChartValuesMask=0xFFFFFFFF\n", 1, 1, 0xFFFFFFFFu},
      {"ChartValuesMask=0x100000000\n", 1, 1, 3},
      {"ChartValuesMask=2147483648\n", 1, 1, 3},
      {"!  [ GLOBAL ]  \n  CommPort = 7  \n\tChannel\t=\t2\t\n", 7, 2, 3},
      {"![global]\ncommport=8\nCHANNEL=2\n", 8, 2, 3},
      {"CommPort=4\nCommPort=6\n", 4, 1, 3},
      {"Channel=2\n[GLOBAL]\nCommPort=5\n", 5, 2, 3},
      {"![OTHER]\nCommPort=9\n[GLOBAL]\nChannel=2\n", 1, 2, 3},
      {"!CommPort=9\n[GLOBAL]\n", 1, 1, 3},
      {";CommPort=9\n#Channel=2\n", 1, 1, 3},
      {"!\xEF\xBB\xBF[GLOBAL]\r\nCommPort=12\r\nChannel=2\r\n", 12, 2, 3},
      {"CommPort=13", 13, 1, 3},
      {"CommPort=\"14\"\nChannel='2'\n", 14, 2, 3},
      {"![GLOBAL\nCommPort=16\n", 1, 1, 3},
      {"\0\xff\x01=\x02\nCommPort=\0"
       "5\n"s,
       1, 1, 3},
  };
  for (const Case& c : cases) {
    const std::string text = c.text.starts_with('!') ? c.text.substr(1) : "[GLOBAL]\n" + c.text;
    const ui::WindowSettings settings = ReadWindowSettings(IniDocument::Parse(text));
    EXPECT_EQ(std::tuple(settings.CommPort, settings.Channel, settings.ChartValuesMask),
              std::tuple(c.port, c.channel, c.mask))
        << text;
  }
}

TEST(WriteSettings, ChangesOnlyTheThreeKeys) {
  struct Case {
    std::string before;
    ui::WindowSettings settings;
    std::string after;
  };
  const Case cases[] = {
      {"", {1, 1, 3}, "[GLOBAL]\nCommPort=1\nChannel=1\nChartValuesMask=3\n"},
      // In place, keeping spelling and spacing.
      {"; settings\n[Global]\n  commport = 5  \nChannel=1\nX=y\nChartValuesMask=3\n",
       {7, 2, 1023},
       "; settings\n[Global]\n  commport = 7  \nChannel=2\nX=y\nChartValuesMask=1023\n"},
      // Missing keys appended to the section in order.
      {"[GLOBAL]\nChannel=2\n; ports follow\n\n[PORTS]\nCOM1=/dev/pts/4\n",
       {4, 2, 3},
       "[GLOBAL]\nChannel=2\nCommPort=4\nChartValuesMask=3\n; ports follow\n\n"
       "[PORTS]\nCOM1=/dev/pts/4\n"},
      {"[GLOBAL]", {2, 1, 3}, "[GLOBAL]\nCommPort=2\nChannel=1\nChartValuesMask=3\n"},
      {"\xEF\xBB\xBF[GLOBAL]\nCommPort=1\n",
       {22, 1, 3},
       "\xEF\xBB\xBF[GLOBAL]\nCommPort=22\nChannel=1\nChartValuesMask=3\n"},
      // A new section follows the file's line ending.
      {"[OTHER]\r\nA = 1\r\n",
       {3, 1, 3},
       "[OTHER]\r\nA = 1\r\n\r\n[GLOBAL]\r\nCommPort=3\r\nChannel=1\r\nChartValuesMask=3\r\n"},
      {"[OTHER]\nA=1",
       {3, 1, 3},
       "[OTHER]\nA=1\n\n[GLOBAL]\nCommPort=3\nChannel=1\nChartValuesMask=3\n"},
      {"[GLOBAL]\nCommPort=4\nCommPort=6\n",
       {9, 1, 3},
       "[GLOBAL]\nCommPort=9\nCommPort=6\nChannel=1\nChartValuesMask=3\n"},
      // Bit 31 set: written as the signed 32-bit number.
      {"[GLOBAL]\nChartValuesMask=0x3\n",
       {1, 1, 0x80000200u},
       "[GLOBAL]\nChartValuesMask=-2147483136\nCommPort=1\nChannel=1\n"},
      {"[GLOBAL]\nCommPort=\"5\"\n",
       {6, 1, 3},
       "[GLOBAL]\nCommPort=6\nChannel=1\nChartValuesMask=3\n"},
      // A value of blanks only is replaced with them.
      {"[GLOBAL]\r\nChartValuesMask=  \r\nChannel=\t\nCommPort=\n",
       {2, 2, 3},
       "[GLOBAL]\r\nChartValuesMask=3\r\nChannel=2\nCommPort=2\n"},
  };
  for (const Case& c : cases) {
    IniDocument document = IniDocument::Parse(c.before);
    WriteWindowSettings(document, c.settings);
    EXPECT_EQ(document.Serialize(), c.after) << c.before;
    const ui::WindowSettings read = ReadWindowSettings(IniDocument::Parse(c.after));
    EXPECT_EQ(std::tuple(read.CommPort, read.Channel, read.ChartValuesMask),
              std::tuple(c.settings.CommPort, c.settings.Channel, c.settings.ChartValuesMask));
  }
}

TEST(IniDocument, SerialisesAnyInputUnchanged) {
  for (const std::string& input : {""s, "\n\n"s, "[A]\r\nb=c\nd\r\n"s, "no newline"s, "\r\r\n\r"s,
                                   "\0\xff[\x80]=\0\n"s, "\xEF\xBB\xBF[GLOBAL]\nCommPort=1"s}) {
    EXPECT_EQ(IniDocument::Parse(input).Serialize(), input);
  }
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

TEST(RecordingSettings, OnUnlessZeroAndTheFileAsWritten) {
  struct Case {
    const char* text;
    bool enabled;
    const char* file;
  };
  for (const Case& c :
       {Case{"", true, ""}, Case{"[RECORDING]\nEnabled=0\n", false, ""},
        Case{"[recording]\nEnabled = 0x0\nFile = /data/k.sqlite \n", false, "/data/k.sqlite"},
        Case{"[RECORDING]\nEnabled=yes\nFile=\n", true, ""},
        Case{"[RECORDING]\nEnabled=2\n", true, ""}}) {
    SCOPED_TRACE(c.text);
    const korvane::ui::RecordingSettings settings =
        ReadRecordingSettings(IniDocument::Parse(c.text));
    EXPECT_EQ(settings.Enabled, c.enabled);
    EXPECT_EQ(settings.File, c.file);
  }
}

}  // namespace
}  // namespace korvane::app
