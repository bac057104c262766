#pragma once
// The Linux host under Wine, for what a Windows program cannot arrange by itself here: Wine's
// CreateSymbolicLinkW and DefineDosDeviceW do nothing, but Wine starts host programs, follows host
// symbolic links as Windows follows junctions, and takes a link in its dosdevices folder for a drive.

#include <filesystem>
#include <string>
#include <vector>

namespace rig {

// The host path Wine maps a Windows path to; throws when there is none.
std::string HostPath(const std::filesystem::path& path);

// Runs a host program (an absolute host path such as "/bin/ln") to its end and answers its exit code.
int RunHostProgram(const std::string& program, const std::vector<std::string>& arguments);

// A host symbolic link at `link`, removed again when the object goes. `target` is taken as the
// host sees it: relative to the link's folder, or a host path.
class HostSymlink {
 public:
  HostSymlink(const std::filesystem::path& link, const std::string& target);
  ~HostSymlink();
  HostSymlink(const HostSymlink&) = delete;
  HostSymlink& operator=(const HostSymlink&) = delete;

 private:
  std::string link_;
};

// A drive letter for a folder, for the object's lifetime.
class MappedDrive {
 public:
  MappedDrive(wchar_t letter, const std::filesystem::path& folder);
  ~MappedDrive();
  MappedDrive(const MappedDrive&) = delete;
  MappedDrive& operator=(const MappedDrive&) = delete;

  std::filesystem::path root() const;  // "P:\"

 private:
  wchar_t letter_;
  std::string link_;
};

}  // namespace rig
