// The installer download's rules and texts: the private folder's name and access list, the
// cache-busting parameter with the platform runtime's pseudo-random generator, and the download's
// log lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cv {

// The linear congruential generator of the platform's C runtime (srand/rand), reproduced so that
// the parameter is the same on every platform and can be tested.
class RuntimeRandom {
 public:
  explicit RuntimeRandom(std::uint32_t seed) : state_(seed) {}
  // The next number, 0 to 32767.
  int Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFFu);
  }

 private:
  std::uint32_t state_;
};

// `url` with the parameter rn appended: "&rn=" when the text holds a question mark anywhere, "?rn="
// otherwise, then the first number of the generator seeded with the low 32 bits of `secondsSince1970`.
// Nothing else in the text is changed, so two runs within one second ask for the same address.
std::wstring AddCacheBuster(std::wstring_view url, std::int64_t secondsSince1970);

// Name of the folder of the stub's own that the installer is downloaded into, below the Windows
// directory's Temp folder: "cv" and the 16 hexadecimal digits of `random`. Unguessable, so that nobody can
// take the name first (creating the folder fails on a name that exists, and another is tried).
std::wstring InstallerFolderName(std::uint64_t random);

// Access list of that folder, in the platform's descriptor language: protected from what the
// Temp folder would pass on, full access for the system and the administrators, reading and
// running for signed-in users. So nobody but an elevated program can write, rename or delete what
// the stub checks and starts; the folder and its files inherit it.
constexpr wchar_t kInstallerFolderAccess[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;AU)";

// Why the working folder cannot be used: the run then fails with code 4 rather than download the
// installer to a place where the access list that guards it is not kept or not enforced here.
enum class WorkingFolderProblem {
  NotMade,        // the Windows directory is unknown, or the folder cannot be made in its Temp folder
  NoAccessLists,  // its volume keeps no access lists (a FAT volume, say)
  RemoteVolume,   // its volume is a network share
};

// The WARNING line of such a folder: "Working folder \"<folder>\" refused: <why>".
std::string WorkingFolderRefusedLine(WorkingFolderProblem problem, std::wstring_view folder,
                                     unsigned long error);

// "\"<path>\" deleted": the line of a file or folder the stub removed.
std::string DeletedLine(std::wstring_view path);

// A transfer from which no byte has come for this long is given up (and resumed, see transfer.h):
// the server or the network has stopped while the connection stays open. Thirty seconds is the
// receive time-out the platform's HTTP stack uses by default; a slow transfer that still moves is
// never cut short, and once every byte has arrived nothing is watched any more.
constexpr unsigned kStallLimitSeconds = 30;

// The WARNING line of a stalled transfer that is not resumed.
std::string StalledDownloadLine();

// The document's "size" while the transfer runs: true when the file would hold more than `size`
// bytes, counted as they are written or announced as the file's whole length by an answer. Such a
// transfer is stopped at once, so that an endless body cannot fill the disk.
bool ExceedsInstallerSize(std::uint64_t received, std::uint64_t announced, std::uint64_t size);

// The WARNING line of a transfer stopped for that.
std::string OversizedDownloadLine(std::uint64_t size);

// "Can't download wrapper to \"<path>\"" and "Wrapper successfully downloaded to \"<path>\"".
std::string DownloadFailedLine(std::wstring_view installerPath);
std::string DownloadedLine(std::wstring_view installerPath);

}  // namespace cv
