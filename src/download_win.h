// The installer's files: a folder of the stub's own below the user's temporary folder, made with an
// access list that only elevated programs may write through and held open without delete sharing
// from its creation to the end of the run, so that it cannot be renamed, replaced or removed while
// the installer is downloaded, checked and run; the name reserved in it; and the installer file.
#pragma once

#include <windows.h>

#include <string>

#include "base/handles_win.h"

namespace cv {

class InstallerFiles {
 public:
  InstallerFiles() = default;
  // Removes whatever is still there, writing a line for each file removed: after a failure, the
  // stub leaves nothing behind.
  ~InstallerFiles();
  InstallerFiles(const InstallerFiles&) = delete;
  InstallerFiles& operator=(const InstallerFiles&) = delete;

  // Makes the folder and reserves the installer's unique name in it (cv<hex>.tmp, created empty by
  // the platform; the installer is that name with ".exe" appended). False when the platform cannot;
  // installerPath() is empty then.
  bool Create();

  const std::wstring& folder() const { return folder_; }
  const std::wstring& installerPath() const { return installerPath_; }
  HANDLE folderHandle() const { return folderHandle_.get(); }

  // Removes the reserved name's file and the folder once the outcome stage has deleted the
  // installer; a WARNING line for what cannot be removed.
  void RemoveFolder();

  // Removes everything without a word, for the progress window's thread when the user closes it:
  // only the main thread writes the log, and the process ends right after.
  void RemoveBeforeExit();

 private:
  void Remove(bool logRemovals);

  UniqueHandle folderHandle_;
  std::wstring folder_;
  std::wstring reservedPath_;
  std::wstring installerPath_;
};

}  // namespace cv
