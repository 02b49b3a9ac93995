// Whole-file reads, crash-safe whole-file replacement, and files shared
// between processes under advisory locks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hs::platform {

// A file operation that failed: which file, what was being done to it, and
// the system's reason.
struct FileError {
  std::string path;
  std::string action;  // "read", "write", "replace", ...
  int code = 0;        // errno
  // "cannot write /data/HopCache.ini: No space left on device"
  std::string Describe() const;
  // The file is not there (nor is its directory).
  bool Missing() const;
};

// The outcome of a file operation that changes the disk. Tests as true when
// the file (or directory) is as asked afterwards; callers that only need
// that may keep treating it as a bool.
struct FileResult {
  bool ok = true;
  bool changed = false;  // false: it already was as asked, nothing was written
  FileError error;       // when !ok
  operator bool() const { return ok; }
};

// The file's bytes; nullopt when it cannot be opened or read, with the reason
// in `error` when given.
std::optional<std::string> ReadWholeFile(const std::string& path, FileError* error = nullptr);

// True when the path names an existing regular file.
bool FileExists(const std::string& path);

// Replaces the file's content so that readers (and a later start after a
// crash or a full disk) see either the old or the new content, never a
// truncated mix: the bytes go to a temporary file in the same directory,
// which is synced to disk and then renamed over the target, and the
// directory is synced after it. A file that already holds exactly these
// bytes is left alone (changed = false): no write, no sync. On failure the
// old file is untouched and the temporary file removed.
FileResult ReplaceFileAtomically(const std::string& path, std::string_view content);

// True only when the path does not exist (an unreadable file is not missing).
bool FileMissing(const std::string& path);

// Flushes a file's or a directory's data to disk, like fsync. Tests put their
// own in place to see what a replace syncs.
using SyncFunction = int (*)(int fd);
// Installs `sync` (null: fsync) and returns the one it replaces.
SyncFunction SetSyncFunction(SyncFunction sync);

// Waits between two attempts of SharedFile::Open. Tests put their own in
// place to act at that moment instead of guessing it with a timer.
using RetryWaitFunction = void (*)(uint32_t ms);
// Installs `wait` (null: sleep) and returns the one it replaces.
RetryWaitFunction SetRetryWaitFunction(RetryWaitFunction wait);

// Creates the directory (and missing parents); ok when it exists afterwards.
FileResult MakeDirectories(const std::string& path);

// Directory of the running executable, with a trailing '/'; empty when unknown.
std::string ExecutableDirectory();

// True when the path names a directory (following links).
bool IsDirectory(const std::string& path);
// True when this process may create files in the directory.
bool IsWritableDirectory(const std::string& path);
// Makes `link` a symbolic link to `target`; fails when something is at `link`.
FileResult MakeSymbolicLink(const std::string& target, const std::string& link);
// The names in a directory, without "." and ".."; empty when it cannot be read.
std::vector<std::string> DirectoryEntries(const std::string& path);
// Writes all of `text` to an open descriptor (a pipe a caller handed down); false on failure.
bool WriteToDescriptor(int fd, std::string_view text);

// A file opened for one slot of a shared database. Every open creates an
// absent file empty. Readers take a shared lock, a writer an exclusive one,
// so several processes may read at once while a writer has the file alone.
// A lock held by someone else counts as "access denied": the open waits
// 50 + (seconds mod 50) ms and tries again; any other failure retries at
// once; after `attempts` failed attempts the open gives up.
class SharedFile {
 public:
  enum class Access { Read, Write };

  SharedFile() = default;
  SharedFile(const SharedFile&) = delete;
  SharedFile& operator=(const SharedFile&) = delete;
  SharedFile(SharedFile&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  SharedFile& operator=(SharedFile&& o) noexcept;
  ~SharedFile() { Close(); }

  static constexpr int kDefaultAttempts = 5;
  // On failure, `error` (when given) says why the last attempt failed.
  static std::optional<SharedFile> Open(const std::string& path, Access access,
                                        int attempts = kDefaultAttempts, FileError* error = nullptr);

  bool IsOpen() const { return fd_ >= 0; }
  // Current size in bytes, -1 on error.
  int64_t Size() const;
  // Reads up to `size` bytes at `offset`; returns the number read (short at
  // the end of the file), -1 on error.
  int64_t ReadAt(int64_t offset, void* buffer, size_t size) const;
  // Writes all bytes at `offset`; false on error.
  bool WriteAt(int64_t offset, const void* data, size_t size);
  // Releases the lock and closes.
  void Close();

 private:
  explicit SharedFile(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace hs::platform
