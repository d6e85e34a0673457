// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "korvane/app/ini_settings_storage.h"
#include "korvane/test_support/temp_dir.h"

namespace korvane::app {
namespace {

// Only an explicit 0 turns the notifications off; the file itself is never written.
TEST(NotifySettings, OnlyZeroTurnsThemOff) {
  for (const auto& [text, enabled] :
       std::initializer_list<std::pair<const char*, bool>>{{"", true},
                                                           {"[NOTIFY]\nEnabled=1\n", true},
                                                           {"[notify]\nenabled = 0x0\n", false},
                                                           {"[NOTIFY]\nEnabled=off\n", true},
                                                           {"[RECORDING]\nEnabled=0\n", true}}) {
    EXPECT_EQ(ReadNotifySettings(IniDocument::Parse(text)).Enabled, enabled) << text;
  }
  test_support::TempDir dir;
  const std::string file = dir / "korvane-connect.ini";
  test_support::WriteFile(file, "[NOTIFY]\r\nEnabled=0\r\n");
  EXPECT_FALSE(IniSettingsStorage(file).Notify().Enabled);
  EXPECT_EQ(test_support::ReadFile(file), "[NOTIFY]\r\nEnabled=0\r\n");
}

// Every key of the section is taken as written (the publisher judges them); nothing else is.
TEST(MqttSettings, SectionKeysAreTakenAsWritten) {
  test_support::TempDir dir;
  const std::string file = dir / "korvane-connect.ini";
  test_support::WriteFile(
      file,
      "[mqtt]\nHost = broker.lan:8883\nTopic=lab/bench 2\nUser=charger\n"
      "PasswordFile=/etc/korvane/pw\nCAFile=/etc/ssl/lab.pem\n[GLOBAL]\nUser=x\n");
  EXPECT_EQ(IniSettingsStorage(file).Mqtt(),
            (publish::BrokerChoice{.address = "broker.lan:8883",
                                   .topic = "lab/bench 2",
                                   .user = "charger",
                                   .password_file = "/etc/korvane/pw",
                                   .cafile = "/etc/ssl/lab.pem"}));
  EXPECT_EQ(ReadMqttSettings(IniDocument::Parse("[GLOBAL]\nHost=x\n")), publish::BrokerChoice{});
}

}  // namespace
}  // namespace korvane::app
