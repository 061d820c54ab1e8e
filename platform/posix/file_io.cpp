// Whole-file reading and replacing writes on POSIX.
#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvane {
namespace {

std::string Problem(const std::string& step, const std::string& path, int error) {
  return step + " " + path + ": " + std::strerror(error);
}

}  // namespace

std::optional<Bytes> ReadWholeFile(const std::string& path, std::string* problem) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (problem) *problem = Problem("cannot open", path, errno);
    return std::nullopt;
  }
  Bytes contents;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      if (problem) *problem = Problem("cannot read", path, errno);
      close(fd);
      return std::nullopt;
    }
    contents.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return contents;
}

FileResult WriteWholeFileReplacing(const std::string& path, const Bytes& contents) {
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return {false, Problem("cannot create a file beside", path, errno)};
  auto fail = [&](const char* step) {
    const int error = errno;
    close(fd);
    unlink(temporary.c_str());
    return FileResult{false, Problem(step, temporary, error)};
  };
  for (size_t written = 0; written < contents.size();) {
    const ssize_t put = write(fd, contents.data() + written, contents.size() - written);
    if (put < 0) {
      if (errno == EINTR) continue;
      return fail("cannot write");
    }
    written += static_cast<size_t>(put);
  }
  // mkstemp makes the file private (0600): keep the replaced file's permissions, else the usual 0644.
  struct stat target {};
  const mode_t mode = stat(path.c_str(), &target) == 0 ? (target.st_mode & 07777) : 0644;
  if (fchmod(fd, mode) != 0) return fail("cannot set the permissions of");
  if (fsync(fd) != 0) return fail("cannot flush");
  if (close(fd) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    return {false, Problem("cannot close", temporary, error)};
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    return {false, Problem("cannot replace", path, error)};
  }
  return {true, {}};
}

}  // namespace korvane
