// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace korvane::link {

// Why a port could not be opened, as TComm saw it.
struct OpenFailure {
  int port = 0;
  std::string path;    // the device the number maps to; empty when it maps to none
  int error = 0;       // errno of the refusing call (EBUSY when another holds the lock)
  std::string detail;  // TComm's technical reason; empty when the open succeeded
};

// Where the user stands with a group.
enum class GroupAccess {
  kNotMember,     // not in the group
  kNotYetActive,  // in the group database, but this session was started before joining it
  kActive,        // this process has the group
};

// What the file system says about a device that refused this process, from this process's view.
struct DeviceAccess {
  bool known = false;  // false when the device could not be examined
  std::string owner;   // user and group names (the numbers when they have none)
  std::string group;
  unsigned mode = 0;           // the permission bits
  bool mine = false;           // this user owns it
  bool group_may_use = false;  // its group may read and write it, and a user could join it
  GroupAccess access = GroupAccess::kNotMember;  // with `group`
  std::string name;                              // its kernel name (links resolved), for udev
  std::string serial_group = "dialout";  // serial devices' usual group here (dialout or uucp)
  bool in_serial_group = false;          // this user is in it, per the group database
};

// Examines `path` with stat(2) and the user and group databases; never opens it.
DeviceAccess ProbeDeviceAccess(const std::string& path);

// Words a user can act on; empty when `failure` has no detail (the open succeeded). A refused
// permission is explained by `access`: the device, its owner and group, and what would help.
std::string DescribeOpenFailure(const OpenFailure& failure, const DeviceAccess& access);
// The same, probing the device when the OS refused permission.
std::string DescribeOpenFailure(const OpenFailure& failure);

}  // namespace korvane::link
