// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/link/open_failure.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "korvane/link/comm.h"

namespace korvane::link {
namespace {

// The reentrant lookups: the hardware thread asks while the UI thread may ask too. `lookup`
// fills `found` from a buffer that is grown while it is too small.
template <typename Entry, typename Lookup>
std::optional<Entry> LookUp(Lookup lookup, std::vector<char>& buffer) {
  Entry entry{};
  Entry* found = nullptr;
  for (std::size_t size = 16384; size <= (1U << 22); size *= 4) {
    buffer.resize(size);
    const int error = lookup(&entry, buffer.data(), buffer.size(), &found);
    if (error != ERANGE) {
      return error == 0 && found != nullptr ? std::optional<Entry>(entry) : std::nullopt;
    }
  }
  return std::nullopt;
}

// The entries point into `buffer`, which must outlive them.
std::optional<passwd> UserEntry(uid_t uid, std::vector<char>& buffer) {
  return LookUp<passwd>([uid](passwd* out, char* data, std::size_t size,
                              passwd** found) { return ::getpwuid_r(uid, out, data, size, found); },
                        buffer);
}

std::optional<group> GroupEntry(gid_t gid, std::vector<char>& buffer) {
  return LookUp<group>([gid](group* out, char* data, std::size_t size,
                             group** found) { return ::getgrgid_r(gid, out, data, size, found); },
                       buffer);
}

std::optional<gid_t> GroupId(const char* name) {
  std::vector<char> buffer;
  const auto entry =
      LookUp<group>([name](group* out, char* data, std::size_t size,
                           group** found) { return ::getgrnam_r(name, out, data, size, found); },
                    buffer);
  return entry ? std::optional<gid_t>(entry->gr_gid) : std::nullopt;
}

bool ProcessHasGroup(gid_t gid) {
  if (::getegid() == gid) {
    return true;
  }
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) {
    return false;
  }
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int got = ::getgroups(count, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// The group database's view, which a new login would get.
bool UserInGroup(gid_t gid) {
  std::vector<char> buffer;
  const auto user = UserEntry(::geteuid(), buffer);
  if (!user) {
    return false;
  }
  if (user->pw_gid == gid) {
    return true;
  }
  int count = 64;
  std::vector<gid_t> groups;
  for (int attempt = 0; attempt < 4; ++attempt) {
    groups.resize(static_cast<std::size_t>(count));
    if (::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) >= 0) {
      groups.resize(static_cast<std::size_t>(count));
      return std::find(groups.begin(), groups.end(), gid) != groups.end();
    }
  }
  return false;
}

GroupAccess AccessTo(gid_t gid) {
  if (ProcessHasGroup(gid)) {
    return GroupAccess::kActive;
  }
  return UserInGroup(gid) ? GroupAccess::kNotYetActive : GroupAccess::kNotMember;
}

std::string Paren(const std::string& path) {
  return path.empty() ? std::string() : " (" + path + ")";
}

std::string Octal(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode & 07777U);
  return text;
}

bool ReadWrite(unsigned mode, unsigned read, unsigned write) {
  return (mode & read) != 0 && (mode & write) != 0;
}

std::string DescribeRefusal(const std::string& path, const DeviceAccess& access) {
  if (!access.known) {
    return "Permission denied: " + path +
           " cannot be examined either (check the folders on its way with ls -ld)";
  }
  const std::string whose = "Permission denied: " + path + " is owned by '" + access.owner +
                            "' and belongs to group '" + access.group + "'";
  const std::string mode = Octal(access.mode);
  if (access.mine && !ReadWrite(access.mode, S_IRUSR, S_IWUSR)) {
    return whose + ", but its mode " + mode +
           " keeps even you from reading and writing it: chmod u+rw " + path;
  }
  const bool group_helps = access.group_may_use && access.access != GroupAccess::kActive;
  if (access.mine || ReadWrite(access.mode, S_IROTH, S_IWOTH) ||
      (access.group_may_use && !group_helps)) {
    return whose + "; its mode " + mode +
           " lets your user read and write it, yet something "
           "else refuses (check getfacl " +
           path + " and the security policy)";
  }
  if (group_helps) {
    const std::string lead = whose + ", which may read and write it; ";
    if (access.access == GroupAccess::kNotYetActive) {
      return lead + "your user joined it after this session started: log out and in again";
    }
    return lead + "your user is not in it: sudo adduser $USER " + access.group +
           ", then log in again";
  }
  std::string text = whose + " (mode " + mode +
                     "), so no group you could join may read and write it: only an "
                     "administrator can change its permissions, e.g. with the udev rule "
                     "SUBSYSTEM==\"tty\", KERNEL==\"" +
                     access.name + "\", GROUP=\"" + access.serial_group +
                     "\", MODE=\"0660\" in /etc/udev/rules.d/70-korvane.rules";
  if (!access.in_serial_group) {
    text += "; then sudo adduser $USER " + access.serial_group + ", and log in again";
  }
  return text;
}

}  // namespace

DeviceAccess ProbeDeviceAccess(const std::string& path) {
  DeviceAccess result;
  for (const char* name : {"dialout", "uucp"}) {
    if (const auto gid = GroupId(name)) {
      result.serial_group = name;
      result.in_serial_group = UserInGroup(*gid);
      break;
    }
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return result;
  }
  result.known = true;
  result.mode = info.st_mode & 07777U;
  result.mine = info.st_uid == ::geteuid();
  std::vector<char> user_buffer;
  std::vector<char> group_buffer;
  const auto owner = UserEntry(info.st_uid, user_buffer);
  result.owner = owner ? owner->pw_name : std::to_string(info.st_uid);
  const auto owning = GroupEntry(info.st_gid, group_buffer);
  result.group = owning ? owning->gr_name : std::to_string(info.st_gid);
  result.group_may_use = owning && info.st_gid != 0 && ReadWrite(info.st_mode, S_IRGRP, S_IWGRP);
  result.access = AccessTo(info.st_gid);
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(path, error);
  result.name = (error ? std::filesystem::path(path) : real).filename().string();
  return result;
}

std::string DescribeOpenFailure(const OpenFailure& failure, const DeviceAccess& access) {
  if (failure.detail.empty()) {
    return {};
  }
  if (failure.port > TComm::kMaxPortNumber) {
    return "Port numbers go up to " + std::to_string(TComm::kMaxPortNumber);
  }
  if (failure.path.empty()) {
    const std::string key = "COM" + std::to_string(failure.port);
    return key + " names no device: map it to one in the settings file, section [PORTS] (e.g. " +
           key + "=/dev/ttyUSB0)";
  }
  switch (failure.error) {
    case EACCES:
    case EPERM:
      return DescribeRefusal(failure.path, access);
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return "No such device: is the adapter plugged in?" + Paren(failure.path);
    case EBUSY:
      return "Busy: another program has the port open" + Paren(failure.path);
    default:
      return failure.detail;
  }
}

std::string DescribeOpenFailure(const OpenFailure& failure) {
  const bool refused = failure.error == EACCES || failure.error == EPERM;
  return DescribeOpenFailure(failure, refused ? ProbeDeviceAccess(failure.path) : DeviceAccess{});
}

}  // namespace korvane::link
