#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

// What veskparser-sweep needs from the system it runs on.
namespace vesk {

// Before anything else: standard input, output and error that were closed lead to the null
// device, so that no file of the run takes their place; output to a closed pipe, or past a
// file-size limit, fails its write instead of killing the command midway; and as many files may
// be open as the system lets this user have, since each folder given is held open until the report
// is written.
void prepareProcess();

bool isTerminal(std::FILE* stream);

// Whether the stream writes to the file of this device and inode number, as JOURNAL_STREAM names
// the journal's. Windows has no journal: there it never does.
bool writesToFile(std::FILE* stream, std::uint64_t device, std::uint64_t inode);

// The folder a path names, found the way the system finds it: on Linux through every link along
// the way, so that link/.. is the parent of the link's target and typo/.. is no folder; on
// Windows, whose paths lose ".." before any lookup, as Windows does.
std::filesystem::path findFolder(const std::filesystem::path& given, std::error_code& ec);

// Writes all of the text to the stream, unwound by interruptWrite() once stop is set; false when
// it could not be written (the stream's reader is gone) or was stopped.
bool writeFully(std::FILE* stream, std::string_view text, const std::atomic<bool>& stop);

// A path's exact bytes: as the system names it on Linux, in UTF-8 on Windows.
std::string pathBytes(const std::filesystem::path& path);

// Where following keeps its place unless told: the first of the folders systemd names in
// STATE_DIRECTORY (the unit's StateDirectory=), else the user's state folder; none where neither
// can be told.
std::optional<std::filesystem::path> defaultStateFolder();

// Makes the folder, and the folders above it that are missing, each for its owner alone.
std::error_code makePrivateFolder(const std::filesystem::path& folder);

// The local time at a moment, and its offset from UTC in minutes, summer time included.
std::tm localTimeOf(std::time_t at, long& offsetMinutes);

}  // namespace vesk
