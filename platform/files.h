// Whole-file reads, crash-safe whole-file replacement, and files shared
// between processes under advisory locks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hs::platform {

// The file's bytes; nullopt when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// True when the path names an existing regular file.
bool FileExists(const std::string& path);

// Replaces the file's content so that readers (and a later start after a
// crash or a full disk) see either the old or the new content, never a
// truncated mix: the bytes go to a temporary file in the same directory,
// which is flushed to disk and then renamed over the target. On failure the
// old file is untouched, the temporary file is removed and false is returned.
bool ReplaceFileAtomically(const std::string& path, std::string_view content);

// Creates the directory (and missing parents); true when it exists afterwards.
bool MakeDirectories(const std::string& path);

// Directory of the running executable, with a trailing '/'; empty when unknown.
std::string ExecutableDirectory();

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
  static std::optional<SharedFile> Open(const std::string& path, Access access,
                                        int attempts = kDefaultAttempts);

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
