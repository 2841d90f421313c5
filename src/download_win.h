// The installer's files: a folder of the stub's own below the Windows directory's Temp folder, made
// with an access list that only elevated programs may write through and held open without delete
// sharing from its creation to the end of the run, so that it cannot be renamed, replaced or
// removed while the installer is downloaded, checked and run; the name reserved in it; and the
// installer file, created through the held folder and held from its creation to its launch.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "base/handles_win.h"
#include "src/crc32.h"
#include "src/signature_win.h"

namespace cv {

class InstallerFiles {
 public:
  InstallerFiles() = default;
  // Removes whatever is still there, writing a line for each file removed: after a failure, the
  // stub leaves nothing behind.
  ~InstallerFiles();
  InstallerFiles(const InstallerFiles&) = delete;
  InstallerFiles& operator=(const InstallerFiles&) = delete;

  // Makes the folder, reserves the installer's unique name in it (cv<hex>.tmp, created empty by the
  // platform; the installer is that name with ".exe" appended) and creates the installer file
  // through the folder's handle, held for writing. Nothing when all went well, otherwise the WARNING
  // line saying why not; installerPath() may be empty then.
  std::optional<std::string> Create();

  const std::wstring& folder() const { return folder_; }
  const std::wstring& installerPath() const { return installerPath_; }
  HANDLE folderHandle() const { return folderHandle_.get(); }
  // The installer file as created, open for writing and reading, shared for reading only; invalid
  // once TakeFileForLaunch has handed it on.
  HANDLE installerFile() const { return installerFile_.get(); }

  // Hands on the installer file for its launch: the same file opened anew through the held folder,
  // for reading only and shared for reading only, so that nobody can write or delete it while the
  // returned handle is open; the writing handle is closed. Invalid, with the platform's last error,
  // when the file cannot be reopened so.
  UniqueHandle TakeFileForLaunch();

  // Removes the reserved name's file and the folder once the outcome stage has deleted the
  // installer; a WARNING line for what cannot be removed.
  void RemoveFolder();

  // Removes everything without a word, for the progress window's thread when the user closes it:
  // only the main thread writes the log, and the process ends right after.
  void RemoveBeforeExit();

 private:
  void Remove(bool logRemovals);

  UniqueHandle folderHandle_;
  UniqueHandle installerFile_;
  std::wstring folder_;
  std::wstring reservedPath_;
  std::wstring installerPath_;
};

// The CRC-32 and, when the document names one, the SHA-256 of the installer, computed as its bytes
// arrive; the check compares them with the document.
struct InstallerDigest {
  Crc32 crc;
  std::optional<Sha256> sha256;
};

}  // namespace cv
