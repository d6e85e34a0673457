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

// Where the user stands with the group that may use a device.
enum class GroupAccess {
  kNotMember,     // not in the group
  kNotYetActive,  // in the group database, but this session was started before joining it
  kActive,        // this process has the group: something else refuses the device
};

struct DeviceGroup {
  std::string name = "dialout";
  GroupAccess access = GroupAccess::kNotMember;
};

// The group a permission refusal is about: the device's own group when that group may read and
// write it, otherwise "dialout" (serial devices' group on Debian and its kin).
DeviceGroup ProbeDeviceGroup(const std::string& path);

// Words a user can act on; empty when `failure` has no detail (the open succeeded).
std::string DescribeOpenFailure(const OpenFailure& failure, const DeviceGroup& group);
// The same, probing the device's group when the OS refused permission.
std::string DescribeOpenFailure(const OpenFailure& failure);

}  // namespace korvane::link
