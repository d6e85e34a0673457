// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <filesystem>

#include "../link/fake_serial_tree.h"
#include "korvane/link/port_map.h"
#include "korvane/test_support/temp_dir.h"
#include "korvane/ui/settings_dialog.h"
#include "window_fixture.h"

namespace korvane::ui {
namespace {

using testing::WaitUntil;
using PortReasonsTest = testing::WindowTest;

TEST_F(PortReasonsTest, LampAndSettingsTellWhyThePortFailedUntilItOpens) {
  const test_support::TempDir dir;
  const std::string adapter = dir / "adapter";
  storage.ports[testing::kChargerPort] = adapter;
  storage.stored.CommPort = testing::kChargerPort;
  Open();
  const QString missing =
      QString::fromStdString("No such device: is the adapter plugged in? (" + adapter + ")");
  ASSERT_TRUE(WaitUntil([&] { return C().CommStatus->StatusText()->toolTip() == missing; }));
  EXPECT_EQ(C().CommStatus->Lamp()->toolTip(), missing);
  EXPECT_EQ(Status(), "ERROR: unable to open COM port");

  const auto pty = sim::Pty::Open();
  prompter.on_dialog = [&](QDialog& dialog) {
    auto& settings = dynamic_cast<TFormSettings&>(dialog);
    EXPECT_EQ(settings.OpenFailureLabel()->text(), missing);
    settings.Select(0, 0);  // another port: not its reason
    EXPECT_EQ(settings.OpenFailureLabel()->text(), "");
    settings.Select(testing::kChargerPort - 1, 0);
    std::filesystem::create_symlink(pty->SlavePath(), adapter);  // plugged in meanwhile
    EXPECT_TRUE(WaitUntil([&] { return settings.OpenFailureLabel()->text().isEmpty(); }));
    return QDialog::Rejected;
  };
  window->MenuFileSettingsClick();
  EXPECT_EQ(C().CommStatus->Lamp()->toolTip(), "");
  window.reset();
}

TEST(SettingsDeviceList, FollowsPlugsAndPicksTheChosenNumber) {
  link::testing::FakeSerialTree tree;
  tree.PlugAdapter(0);
  link::PortMap ports;
  TFormSettings dialog(ports, nullptr, tree.Roots());
  dialog.Select(6, 0);
  QListWidget* list = dialog.DeviceList();
  ASSERT_EQ(list->count(), 1);
  const QString text = list->item(0)->text();
  EXPECT_TRUE(text.startsWith("COM1  ttyUSB0  FTDI FT232R")) << text.toStdString();
  EXPECT_TRUE(text.endsWith("\nusb-FTDI_A0-if00-port0")) << text.toStdString();
  list->setCurrentRow(0);
  EXPECT_EQ(dialog.PortIndex(), 0);

  dialog.show();
  tree.PlugAdapter(1);
  ASSERT_TRUE(WaitUntil([&] { return list->count() == 2; }));
  EXPECT_EQ(list->currentRow(), 0);  // the choice stays
  tree.Unplug("ttyUSB0");
  ASSERT_TRUE(WaitUntil([&] { return list->count() == 1; }));
  list->setCurrentRow(0);
  EXPECT_EQ(dialog.PortIndex(), 1);
}

TEST(SettingsDeviceLine, FollowsTheDeviceAppearing) {
  link::testing::FakeSerialTree tree;
  link::PortMap ports;
  const QString device = QString::fromStdString(tree.Dev("ttyUSB0"));
  ports.SetOverride(1, device.toStdString());
  TFormSettings dialog(ports, nullptr, tree.Roots());
  dialog.Select(0, 0);
  EXPECT_EQ(dialog.DeviceLabel()->toolTip(), device + " (not present)");
  tree.PlugAdapter(0);
  EXPECT_TRUE(WaitUntil([&] { return dialog.DeviceLabel()->toolTip() == device + " (present)"; }));
}

}  // namespace
}  // namespace korvane::ui
