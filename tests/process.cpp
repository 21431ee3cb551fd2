// Running built programs as child processes, and temporary folders.
#include "tests/process.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

/// Appends what is ready on fd; false once the other end is gone.
bool drain_into(int fd, std::string *text) {
  char buffer[65536];
  ssize_t got = read(fd, buffer, sizeof buffer);
  if (got > 0) {
    text->append(buffer, static_cast<size_t>(got));
    return true;
  }
  return got < 0 && (errno == EINTR || errno == EAGAIN);
}

}  // namespace

ProcessResult run_process(const std::vector<std::string> &argv,
                          const std::string &cwd,
                          const std::vector<std::string> &env, int master_fd) {
  ProcessOptions options;
  options.cwd = cwd;
  options.env = env;
  options.master_fd = master_fd;
  return run_process(argv, options);
}

ProcessResult run_process(const std::vector<std::string> &argv,
                          const ProcessOptions &options) {
  int master_fd = options.master_fd;
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0)
    abort();
  pid_t pid = fork();
  if (pid == 0) {
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0)
      _exit(126);
    for (const std::string &entry : options.env)
      putenv(const_cast<char *>(entry.c_str()));
    if (options.new_session)
      setsid();
    if (options.file_size_limit >= 0) {
      rlimit limit;
      limit.rlim_cur = limit.rlim_max =
          static_cast<rlim_t>(options.file_size_limit);
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    int null_fd = open("/dev/null", O_RDONLY);
    dup2(null_fd, 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    if (options.stdout_reader_closed) {
      int gone[2];
      if (pipe(gone) != 0)
        _exit(126);
      close(gone[0]);
      dup2(gone[1], 1);
      signal(SIGPIPE, SIG_IGN);
    }
    for (int fd : options.closed_fds)
      close(fd);
    std::vector<char *> args;
    for (const std::string &a : argv)
      args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (options.started)
    options.started(pid);

  ProcessResult result;
  bool out_open = true, err_open = true;
  while (out_open || err_open) {
    pollfd fds[3] = {{out_pipe[0], POLLIN, 0},
                     {err_pipe[0], POLLIN, 0},
                     {master_fd, POLLIN, 0}};
    if (!out_open)
      fds[0].fd = -1;
    if (!err_open)
      fds[1].fd = -1;
    if (poll(fds, 3, -1) < 0 && errno != EINTR)
      break;
    if (fds[0].revents)
      out_open = drain_into(out_pipe[0], &result.out);
    if (fds[1].revents)
      err_open = drain_into(err_pipe[0], &result.err);
    if (master_fd >= 0 && (fds[2].revents & POLLIN))
      drain_into(master_fd, &result.master);
  }
  if (master_fd >= 0) {
    fcntl(master_fd, F_SETFL, fcntl(master_fd, F_GETFL) | O_NONBLOCK);
    char buffer[65536];
    ssize_t got;
    while ((got = read(master_fd, buffer, sizeof buffer)) > 0)
      result.master.append(buffer, static_cast<size_t>(got));
  }
  close(out_pipe[0]);
  close(err_pipe[0]);
  // A coverage build's programs may say that their profile could not be
  // written (under a file size limit, say); that is not theirs to say.
  for (size_t at; (at = result.err.find("LLVM Profile ")) != std::string::npos;)
    result.err.erase(at, result.err.find('\n', at) + 1 - at);
  int status;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status))
    result.signal = WTERMSIG(status);
  return result;
}

std::string program_path(const char *name) {
  return std::string(PROGRAM_DIR) + "/" + name;
}

TempDir::TempDir() {
  char name[] = "/tmp/scanner_testXXXXXX";
  path = mkdtemp(name);
}

TempDir::~TempDir() {
  std::string command = "rm -rf '" + path + "'";
  if (system(command.c_str()) != 0)
    return;
}

std::string TempDir::file(const std::string &name) const {
  return path + "/" + name;
}

void write_file(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool file_exists(const std::string &path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

std::vector<std::string> files_in(const std::string &folder) {
  std::vector<std::string> names;
  DIR *dir = opendir(folder.c_str());
  if (!dir)
    return names;
  while (dirent *entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..")
      names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool wait_for_hidden_file(const std::string &folder) {
  for (int tries = 0; tries < 400; ++tries) {
    for (const std::string &name : files_in(folder))
      if (name[0] == '.')
        return true;
    timespec pause = {0, 5000000};
    nanosleep(&pause, nullptr);
  }
  return false;
}
