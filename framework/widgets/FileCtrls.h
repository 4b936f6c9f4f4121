// The file-system controls: a list of directories to walk and a box of the
// file system's roots (the platform's drives).
#pragma once

#include <string>

#include "framework/widgets/Controls.h"

namespace ztl {

// Raised for a directory or drive that does not exist.
class EInOutError : public Exception {
public:
  using Exception::Exception;
};

inline constexpr const char* SDirectoryNotFound = "Directory not found: %s";
inline constexpr const char* SDriveNotFound = "Drive not found: %s";

// The drives of this platform are its file-system roots. A drive is named by
// the first character of its root, so on a system with the one root "/" the
// only drive is '/'.
std::vector<std::string> FileSystemRoots();

// The path of the current directory: its ancestors from the root down, then
// its subdirectories (hidden ones excepted, in name order). Activating a line
// (double click, Enter) opens that directory. OnChange fires whenever
// Directory changes, by the user or by the program.
class TDirectoryListBox : public TControl {
public:
  explicit TDirectoryListBox(TComponent* AOwner);

  const std::string& GetDirectory() const { return Directory; }
  // Makes Value (absolute, or relative to the current directory) the
  // directory shown; EInOutError when it is not an existing directory.
  void SetDirectory(const std::string& Value);
  char GetDrive() const { return Directory.empty() ? '\0' : Directory[0]; }
  // Moves to the root of drive Value unless Directory is already on it;
  // EInOutError for a drive that does not exist.
  void SetDrive(char Value);
  // Reads the directory again.
  void Update();

  TNotifyEvent OnChange;

private:
  std::string Directory; // absolute, without a trailing separator (except the root)
};

// The file-system roots to choose from. OnChange fires when the drive
// changes, by the user or by the program.
class TDriveComboBox : public TControl {
public:
  explicit TDriveComboBox(TComponent* AOwner);

  char GetDrive() const { return Drive; }
  // EInOutError for a drive that is not among the roots.
  void SetDrive(char Value);

  TNotifyEvent OnChange;

private:
  char Drive = '\0'; // first character of the chosen root
};

} // namespace ztl
