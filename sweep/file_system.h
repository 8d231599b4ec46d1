#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

namespace vesk {

// Which file an open handle refers to, whatever name reached it.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

class InputFile {
public:
    virtual ~InputFile() = default;
    // Up to size bytes; 0 at the end of the file.
    virtual std::size_t read(char* data, std::size_t size, std::error_code& ec) = 0;
    virtual FileIdentity identity() const = 0;
};

class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Writes all of it, or fails.
    virtual void write(const char* data, std::size_t size, std::error_code& ec) = 0;
    virtual void close(std::error_code& ec) = 0;
    virtual FileIdentity identity() const = 0;
};

// Names without directory, in the order the file system lists them.
class NameEnumeration {
public:
    virtual ~NameEnumeration() = default;
    // The next name, or nothing when the enumeration is exhausted (or failed: see ec).
    virtual std::optional<std::filesystem::path> next(std::error_code& ec) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Creates the file, or truncates it when it exists.
    virtual std::unique_ptr<OutputFile> createReport(const std::filesystem::path& path,
                                                     std::error_code& ec) = 0;
    // Fails for anything that is not an ordinary file, rather than blocking on it.
    virtual std::unique_ptr<InputFile> openLog(const std::filesystem::path& path,
                                               std::error_code& ec) = 0;
    // The ordinary, visible files matching "*.log" in any letter case.
    virtual std::unique_ptr<NameEnumeration> findLogs(const std::filesystem::path& directory,
                                                      std::error_code& ec) = 0;
    // All ordinary, visible files, sorted by name.
    virtual std::vector<std::filesystem::path> listFiles(const std::filesystem::path& directory,
                                                         std::error_code& ec) = 0;
};

// The file system of the machine the program runs on.
std::unique_ptr<FileSystem> makeNativeFileSystem();

// Failures that the operating system has no code for.
enum class SweepErrc { notOrdinaryFile = 1 };
std::error_code make_error_code(SweepErrc e);

}  // namespace vesk

template <>
struct std::is_error_code_enum<vesk::SweepErrc> : std::true_type {};
