#include "config/GlobalDatFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "support/Trace.h"

namespace GlobalDatFile {
namespace {

unsigned char ScrambleByte(unsigned char b) {
  return static_cast<unsigned char>((b ^ kScrambleKey) + kScrambleKey);
}

unsigned char UnscrambleByte(unsigned char c) {
  return static_cast<unsigned char>(static_cast<unsigned char>(c - kScrambleKey) ^ kScrambleKey);
}

// Closes the descriptor when the scope ends unless it was closed explicitly,
// where the result of close matters.
class FileDescriptor {
public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return m_fd; }
  bool valid() const { return m_fd >= 0; }
  bool Close() {
    int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0;
  }

private:
  int m_fd;
};

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The rename is durable only once the folder's entry is on disk too. A folder
// that cannot be synced does not undo a rename that already happened.
void SyncFolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
  FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid() || ::fsync(dir.get()) != 0) {
    Trace::Write("GlobalDatFile: folder sync failed for [%s]", path);
  }
}

bool WriteTemp(const std::string& tmp, const std::string& path, const std::string& bytes) {
  FileDescriptor fd(
      ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666));
  if (!fd.valid()) return false;
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) {
    // A read-only old file is no reason to refuse: the owner's write bit is
    // set, everything else stays as it was.
    if (::fchmod(fd.get(), (old.st_mode & 07777) | S_IWUSR) != 0) return false;
  }
  if (!WriteAll(fd.get(), bytes)) return false;
  if (::fsync(fd.get()) != 0) return false;
  return fd.Close();
}

}  // namespace

std::string Encode(std::u16string_view text) {
  std::string bytes;
  bytes.reserve((text.size() + 1) * 2);
  auto put = [&bytes](char16_t unit) {
    bytes.push_back(static_cast<char>(ScrambleByte(static_cast<unsigned char>(unit & 0xFF))));
    bytes.push_back(static_cast<char>(ScrambleByte(static_cast<unsigned char>(unit >> 8))));
  };
  for (char16_t unit : text) put(unit);
  put(u'\0');
  return bytes;
}

std::u16string Decode(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    unsigned lo = UnscrambleByte(static_cast<unsigned char>(bytes[i]));
    unsigned hi = UnscrambleByte(static_cast<unsigned char>(bytes[i + 1]));
    char16_t unit = static_cast<char16_t>(lo | (hi << 8));
    if (unit == u'\0') break;
    text.push_back(unit);
  }
  return text;
}

ReadStatus Read(const std::string& path, std::u16string& text) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return ReadStatus::Failed;
  std::string bytes(static_cast<size_t>(st.st_size), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  // Only a file read whole is trusted; a part of one would decode to a
  // plausible but cut document.
  if (done != bytes.size()) return ReadStatus::Failed;
  text = Decode(bytes);
  return ReadStatus::Ok;
}

std::string TempPath(const std::string& path) {
  return path + "." + std::to_string(::getpid()) + ".tmp";
}

bool Write(const std::string& path, std::u16string_view text) {
  const std::string tmp = TempPath(path);
  if (!WriteTemp(tmp, path, Encode(text)) || ::rename(tmp.c_str(), path.c_str()) != 0) {
    Trace::Write("GlobalDatFile: write of [%s] failed, errno %d", path, errno);
    ::unlink(tmp.c_str());
    return false;
  }
  SyncFolderOf(path);
  return true;
}

}  // namespace GlobalDatFile
