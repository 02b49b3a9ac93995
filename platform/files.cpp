#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <string>
#include <system_error>

#include "platform/clock.h"

namespace hs::platform {
namespace {

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::atomic<SyncFunction> syncFunction{nullptr};
std::atomic<RetryWaitFunction> retryWaitFunction{nullptr};

int Sync(int fd) {
  SyncFunction sync = syncFunction.load();
  return sync ? sync(fd) : ::fsync(fd);
}

FileResult Failed(const std::string& path, const char* action, int code) {
  FileResult result;
  result.ok = false;
  result.error = FileError{path, action, code};
  return result;
}

// True when the file exists and holds exactly `content`. Compared block by
// block, so a large file costs no copy of itself.
bool HoldsAlready(const std::string& path, std::string_view content) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) == content.size();
  char buffer[65536];
  size_t done = 0;
  while (same) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      same = n == 0 && done == content.size();
      break;
    }
    const size_t got = static_cast<size_t>(n);
    same = done + got <= content.size() && content.compare(done, got, std::string_view(buffer, got)) == 0;
    done += got;
  }
  ::close(fd);
  return same;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string FileError::Describe() const {
  return "cannot " + action + " " + path + ": " + std::error_code(code, std::generic_category()).message();
}

bool FileError::Missing() const { return code == ENOENT || code == ENOTDIR; }

std::optional<std::string> ReadWholeFile(const std::string& path, FileError* error) {
  auto fail = [&](int code) -> std::optional<std::string> {
    if (error) *error = FileError{path, "read", code};
    return std::nullopt;
  };
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(errno);
  std::string content;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0) content.reserve(static_cast<size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int code = errno;
      ::close(fd);
      return fail(code);
    }
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return content;
}

FileResult ReplaceFileAtomically(const std::string& path, std::string_view content) {
  // Rewriting equal bytes would cost two syncs and change nothing.
  if (HoldsAlready(path, content)) return FileResult{};
  // Unique per process and call, so two processes (or threads) saving the
  // same file never share a temporary; the last rename wins whole.
  static std::atomic<unsigned> counter{0};
  std::string temp = path + ".tmp." + std::to_string(::getpid()) + "." +
                     std::to_string(counter.fetch_add(1));
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return Failed(path, "create a temporary file beside", errno);
  const char* failed = nullptr;
  int code = 0;
  if (!WriteAll(fd, content.data(), content.size())) {
    failed = "write";
    code = errno;
  } else if (Sync(fd) != 0) {
    failed = "sync";
    code = errno;
  }
  if (::close(fd) != 0 && !failed) {
    failed = "write";
    code = errno;
  }
  if (!failed && ::rename(temp.c_str(), path.c_str()) != 0) {
    failed = "replace";
    code = errno;
  }
  if (failed) {
    ::unlink(temp.c_str());
    return Failed(path, failed, code);
  }
  // Make the rename itself durable; failure here leaves a valid file either way.
  int dir = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    Sync(dir);
    ::close(dir);
  }
  FileResult result;
  result.changed = true;
  return result;
}

bool FileMissing(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) != 0 && errno == ENOENT;
}

SyncFunction SetSyncFunction(SyncFunction sync) { return syncFunction.exchange(sync); }

RetryWaitFunction SetRetryWaitFunction(RetryWaitFunction wait) { return retryWaitFunction.exchange(wait); }

FileResult MakeDirectories(const std::string& path) {
  if (path.empty()) return Failed(path, "create the directory", ENOENT);
  bool created = false;
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos == path.size() || path[pos] == '/') {
      std::string part = path.substr(0, pos);
      if (::mkdir(part.c_str(), 0755) == 0) {
        created = true;
      } else if (errno != EEXIST) {
        return Failed(part, "create the directory", errno);
      }
    }
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Failed(path, "create the directory", errno);
  if (!S_ISDIR(st.st_mode)) return Failed(path, "use the directory", ENOTDIR);
  FileResult result;
  result.changed = created;
  return result;
}

std::string ExecutableDirectory() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  std::string path(buffer, static_cast<size_t>(n));
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  return path.substr(0, slash + 1);
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsWritableDirectory(const std::string& path) { return IsDirectory(path) && ::access(path.c_str(), W_OK | X_OK) == 0; }

FileResult MakeSymbolicLink(const std::string& target, const std::string& link) {
  if (::symlink(target.c_str(), link.c_str()) != 0) return Failed(link, "create the link", errno);
  FileResult result;
  result.changed = true;
  return result;
}

bool WriteToDescriptor(int fd, std::string_view text) { return fd >= 0 && WriteAll(fd, text.data(), text.size()); }

std::vector<std::string> DirectoryEntries(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

SharedFile& SharedFile::operator=(SharedFile&& o) noexcept {
  if (this != &o) {
    Close();
    fd_ = o.fd_;
    o.fd_ = -1;
  }
  return *this;
}

std::optional<SharedFile> SharedFile::Open(const std::string& path, Access access, int attempts,
                                           FileError* error) {
  const int flags = (access == Access::Read ? O_RDONLY : O_RDWR) | O_CREAT | O_CLOEXEC;
  const int lock = (access == Access::Read ? LOCK_SH : LOCK_EX) | LOCK_NB;
  const char* action = "open";
  int code = 0;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    bool denied = false;
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
      code = errno;
      action = "open";
      denied = (code == EACCES || code == EPERM);
    } else if (::flock(fd, lock) == 0) {
      return SharedFile(fd);
    } else {
      code = errno;
      action = "lock";
      denied = (code == EWOULDBLOCK);
      ::close(fd);
    }
    if (denied && attempt + 1 < attempts) {
      const uint32_t ms = static_cast<uint32_t>(50 + CalendarTime() % 50);
      if (RetryWaitFunction wait = retryWaitFunction.load()) wait(ms);
      else SleepMilliseconds(ms);
    }
  }
  if (error) *error = FileError{path, action, code};
  return std::nullopt;
}

int64_t SharedFile::Size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

int64_t SharedFile::ReadAt(int64_t offset, void* buffer, size_t size) const {
  if (fd_ < 0 || offset < 0) return -1;
  size_t done = 0;
  char* out = static_cast<char*>(buffer);
  while (done < size) {
    ssize_t n = ::pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

bool SharedFile::WriteAt(int64_t offset, const void* data, size_t size) {
  if (fd_ < 0 || offset < 0) return false;
  size_t done = 0;
  const char* in = static_cast<const char*>(data);
  while (done < size) {
    ssize_t n = ::pwrite(fd_, in + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

void SharedFile::Close() {
  if (fd_ >= 0) {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
  }
}

}  // namespace hs::platform
