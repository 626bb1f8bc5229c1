#include "util/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

// Distinguishes the temporary files of one process.
std::atomic<unsigned> temporaryCounter{0};

// The directory part of path ("." when it has none) and the name part.
void split_path(const std::string& path, std::string& directory, std::string& name) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    directory = ".";
    name = path;
  } else {
    directory = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

std::string reason(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + std::strerror(error);
}

}  // namespace

int atomic_file_open(const char* path, AtomicFile& file, std::string& why) {
  file = AtomicFile{};
  if (path == nullptr || path[0] == '\0') {
    why = "no output file named";
    return 0;
  }
  std::string directory, name;
  split_path(path, directory, name);
  if (name.empty()) {
    why = std::string("cannot write ") + path + ": it names a directory";
    return 0;
  }
  // A few attempts in case a name is taken (left behind by a process killed with its pid).
  for (int attempt = 0; attempt < 16; attempt++) {
    const std::string temporary = directory + "/." + name + ".tmp-" + std::to_string(getpid()) +
                                  "-" + std::to_string(temporaryCounter++);
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      why = reason("cannot write", path, errno);
      return 0;
    }
    FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
      why = reason("cannot write", path, errno);
      close(fd);
      unlink(temporary.c_str());
      return 0;
    }
    file.stream = stream;
    file.target = path;
    file.temporary = temporary;
    return 1;
  }
  why = std::string("cannot write ") + path + ": no free temporary name";
  return 0;
}

int atomic_file_commit(AtomicFile& file, std::string& why) {
  if (file.stream == nullptr) {
    why = "no file pending";
    return 0;
  }
  int error = 0;
  if (fflush(file.stream) != 0 || ferror(file.stream)) error = errno != 0 ? errno : EIO;
  if (error == 0 && fsync(fileno(file.stream)) != 0 && errno != EINVAL) error = errno;
  if (fclose(file.stream) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  file.stream = nullptr;
  if (error == 0 && rename(file.temporary.c_str(), file.target.c_str()) != 0) error = errno;
  if (error != 0) {
    why = reason("cannot write", file.target, error);
    unlink(file.temporary.c_str());
    file.temporary.clear();
    return 0;
  }
  file.temporary.clear();
  return 1;
}

int atomic_file_write(const char* path, const std::string& text, std::string& why) {
  AtomicFile file;
  if (!atomic_file_open(path, file, why)) return 0;
  if (fwrite(text.data(), 1, text.size(), file.stream) != text.size()) {
    why = std::string("cannot write ") + path + ": " + std::strerror(errno);
    atomic_file_abandon(file);
    return 0;
  }
  return atomic_file_commit(file, why);
}

void atomic_file_abandon(AtomicFile& file) {
  if (file.stream != nullptr) fclose(file.stream);
  file.stream = nullptr;
  if (!file.temporary.empty()) unlink(file.temporary.c_str());
  file.temporary.clear();
}

int output_path_writable(const char* path, std::string& why) {
  if (path == nullptr || path[0] == '\0') {
    why = "an empty file name";
    return 0;
  }
  std::string directory, name;
  split_path(path, directory, name);
  struct stat info;
  if (name.empty() || (stat(path, &info) == 0 && S_ISDIR(info.st_mode))) {
    why = std::string("cannot write ") + path + ": it names a directory";
    return 0;
  }
  if (stat(directory.c_str(), &info) != 0) {
    why = reason("cannot write", path, errno);
    return 0;
  }
  if (!S_ISDIR(info.st_mode)) {
    why = reason("cannot write", path, ENOTDIR);
    return 0;
  }
  if (access(directory.c_str(), W_OK | X_OK) != 0) {
    why = reason("cannot write", path, errno);
    return 0;
  }
  return 1;
}
