#include "korvane/link/open_failure.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "korvane/link/comm.h"

namespace korvane::link {
namespace {

constexpr const char* kSerialGroup = "dialout";

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
  const passwd* user = ::getpwuid(::geteuid());
  if (user == nullptr) {
    return false;
  }
  if (user->pw_gid == gid) {
    return true;
  }
  const std::string name = user->pw_name;
  const gid_t base = user->pw_gid;
  int count = 64;
  std::vector<gid_t> groups;
  for (int attempt = 0; attempt < 4; ++attempt) {
    groups.resize(static_cast<std::size_t>(count));
    if (::getgrouplist(name.c_str(), base, groups.data(), &count) >= 0) {
      groups.resize(static_cast<std::size_t>(count));
      return std::find(groups.begin(), groups.end(), gid) != groups.end();
    }
  }
  return false;
}

std::string Paren(const std::string& path) {
  return path.empty() ? std::string() : " (" + path + ")";
}

}  // namespace

DeviceGroup ProbeDeviceGroup(const std::string& path) {
  DeviceGroup result{kSerialGroup, GroupAccess::kNotMember};
  gid_t gid = 0;
  bool known = false;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && info.st_gid != 0 &&
      (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
    if (const group* owner = ::getgrgid(info.st_gid)) {
      result.name = owner->gr_name;
      gid = info.st_gid;
      known = true;
    }
  }
  if (!known) {
    const group* serial = ::getgrnam(kSerialGroup);
    if (serial == nullptr) {
      return result;
    }
    gid = serial->gr_gid;
  }
  if (ProcessHasGroup(gid)) {
    result.access = GroupAccess::kActive;
  } else if (UserInGroup(gid)) {
    result.access = GroupAccess::kNotYetActive;
  }
  return result;
}

std::string DescribeOpenFailure(const OpenFailure& failure, const DeviceGroup& group) {
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
      switch (group.access) {
        case GroupAccess::kNotYetActive:
          return "Permission denied: your user is in the '" + group.name +
                 "' group, but this session started before that (log out and in again)";
        case GroupAccess::kActive:
          return "Permission denied: " + failure.path +
                 " refuses your user although it is in the '" + group.name +
                 "' group (check ls -l " + failure.path + ")";
        case GroupAccess::kNotMember:
          break;
      }
      return "Permission denied: your user is not in the '" + group.name +
             "' group (sudo adduser $USER " + group.name + ", then log in again)";
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
  return DescribeOpenFailure(failure, refused ? ProbeDeviceGroup(failure.path) : DeviceGroup{});
}

}  // namespace korvane::link
