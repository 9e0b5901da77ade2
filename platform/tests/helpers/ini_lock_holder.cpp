// Stands for a writer of a profile file that was stopped inside its write: takes the file's
// write lock, leaves a half-written temporary file beside the file, tells the test and then
// holds the lock until it is killed.
// Usage: ini_lock_holder <file> <ready-file>
// Exit code: 1 when the lock or the files cannot be made, 2 on bad arguments.
#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string file = argv[1];
  const std::string lockPath = file + ".lock";
  int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return 1;
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  if (fcntl(fd, F_SETLKW, &fl) != 0) return 1;
  // The temporary file a writer makes: ".<name>.<pid>.<thread id>.<counter>.tmp" beside the file.
  const size_t slash = file.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash);
  const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  const std::string pid = std::to_string(getpid());
  std::ofstream(folder + "/." + name + "." + pid + "." + pid + ".0.tmp") << "half a fi";
  std::ofstream(argv[2]) << "ready\n";
  for (;;) pause();
}
