// Texts and decisions of the installer's launch and outcome: the installer's parameter text, the
// analytics hit addresses, the cancellation page address, the outcome class of an exit code and the
// cancellation message taken from the mailslot's bytes. Plain functions over values, no platform calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cv {

// What the stub does after the installer has ended, chosen by the installer's exit code.
enum class OutcomeClass { Success, Cancellation, Failure };

// 0 is success, 2 and 5 are cancellations, every other value is a failure.
OutcomeClass ClassifyExitCode(std::uint32_t exitCode);

// The installer's parameters: "-id <installId> -v \"<version>\" <ownArgs>". The own arguments are
// appended unchanged, so without any the text ends in a space. No length limit of its own.
std::wstring InstallerArgs(std::wstring_view installId, std::wstring_view version,
                           std::wstring_view ownArgs);

// The installer's whole command line: its path in double quotes, a blank, then its parameters, as the
// shell has always built it, so that the installer sees the same text however it is started.
std::wstring InstallerCommandLine(std::wstring_view installerPath, std::wstring_view installerArgs);

// The ERROR lines of a launch that failed: the platform's error, or a started program that turned
// out not to be the file that was checked (it was ended before it ran).
std::string LaunchFailedLine(std::uint32_t error);
constexpr char kNotTheCheckedFileLine[] =
    "Failed to launch installer: the program started is not the file that was checked";

// The analytics event hits: the collect endpoint below `analyticsUrl` (no trailing slash) with the
// protocol's keys in their fixed order. Values are inserted unchanged, without percent-encoding.
std::wstring CancellationHitAddress(std::wstring_view analyticsUrl, std::wstring_view trackingId,
                                    std::wstring_view installId, std::wstring_view version,
                                    std::wstring_view cancelMessage);
std::wstring FailureHitAddress(std::wstring_view analyticsUrl, std::wstring_view trackingId,
                               std::wstring_view installId, std::wstring_view version);

// The product's cancellation page for this version: "<siteUrl>/installation-cancelled/?v=<version>",
// the version unchanged.
std::wstring CancelPageUrl(std::wstring_view siteUrl, std::wstring_view version);

// The longest cancellation message kept, in bytes; the mailslot accepts one byte more.
constexpr std::size_t kMaxCancelMessageBytes = 63;

// The cancellation message in `bytes` (what one mailslot read delivered): the 8-bit text up to its
// first zero byte and at most kMaxCancelMessageBytes long, widened byte for byte (no code page).
std::wstring CancelMessageFromBytes(const char* bytes, std::size_t count);

// The largest answer to an analytics hit that the stub reads; the answer is never used.
constexpr std::uint32_t kMaxHitAnswerBytes = 64 * 1024;

// Name of the stub's own copy in the temporary folder, from which the continuation shortcut resumes.
constexpr wchar_t kSelfCopyName[] = L"cv_setup.exe";

// `folder` followed by kSelfCopyName; a backslash is put between them when `folder` lacks one.
std::wstring SelfCopyPath(std::wstring_view folder);

}  // namespace cv
