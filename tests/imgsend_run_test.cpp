// The uploader run as a process: its command line, its failures and a whole
// upload into a pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <limits.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/process.h"

namespace {

const char usage_head[] =
    "imgsend [-h] [-p port] [-s snooze] [filename.spg]\n"
    "  -h prints this help message\n"
    "  -p port sets the device where the scanner is connected\n"
    "          (typically /dev/ttyS0 or /dev/ttyS1,\n";

std::string usage_with_port(const std::string &port) {
  return std::string(usage_head) + "          defaults to " + port +
         ")\n"
         "  -s snooze sets the interblock delay\n"
         "          (units are milliseconds, default is 20 milliseconds)\n"
         "  -n keeps no record of the upload (no journal, no copy)\n"
         "  filename.spg is the input file which must end with .spg\n"
         "          (defaults to load.spg)\n";
}

/// An image file whose body holds 0x11 at offset 0 and 0x22 at the end.
std::string marked_image() {
  std::string image(32773, '\0');
  image[0] = 2;
  for (int i = 0; i < 26496; ++i)
    image[5 + i] = static_cast<char>(i % 251);
  image[5] = 0x11;
  image[5 + 26495] = 0x22;
  return image;
}

ProcessResult send(const std::vector<std::string> &args, const TempDir &dir,
                   int master_fd = -1) {
  std::vector<std::string> argv = {program_path("imgsend")};
  argv.insert(argv.end(), args.begin(), args.end());
  // The record of uploads goes into the test's folder, never a real home.
  return run_process(
      argv, dir.path,
      {std::string("LD_PRELOAD=") + MODEM_SHIM,
       "ASAN_OPTIONS=verify_asan_link_order=0",
       "XDG_STATE_HOME=" + dir.file("state"), "HOME=" + dir.file("home")},
      master_fd);
}

}  // namespace

TEST(ImgsendCommandLine, HelpAndUnknownOptionsPrintUsageAndTouchNothing) {
  TempDir dir;
  ProcessResult r = send({"-h"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, usage_with_port("/dev/ttyS0"));
  EXPECT_EQ(r.out, "");

  r = send({"-x", "load.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  ASSERT_GE(r.err.size(), usage_with_port("/dev/ttyS0").size());
  EXPECT_EQ(r.err.substr(r.err.size() - usage_with_port("/dev/ttyS0").size()),
            usage_with_port("/dev/ttyS0"));
  EXPECT_NE(r.err.find("invalid option"), std::string::npos);

  r = send({"-p", dir.file("X"), "-h"}, dir);
  EXPECT_EQ(r.err, usage_with_port(dir.file("X")));
  r = send({"-h", "-p", dir.file("X")}, dir);
  EXPECT_EQ(r.err, usage_with_port("/dev/ttyS0"));

  r = send({"-s"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(usage_head), std::string::npos);
  EXPECT_FALSE(file_exists(dir.file("X")));
}

TEST(ImgsendCommandLine, ImageNameAndImageFileFailures) {
  TempDir dir;
  write_file(dir.file("image.bin"), marked_image());
  ProcessResult r = send({"-p", dir.file("port"), "image.bin"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "File name (image.bin) must end with .spg\n");

  r = send({"-p", dir.file("port"), "missing.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot open missing.spg: No such file or directory\n");

  write_file(dir.file("short.spg"), marked_image().substr(0, 26500));
  r = send({"-p", dir.file("port"), "short.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot read spg data from short.spg: File is too short\n");
  write_file(dir.file("tiny.spg"), "\x02");
  r = send({"-p", dir.file("port"), "tiny.spg"}, dir);
  EXPECT_EQ(r.err, "Cannot read spg data from tiny.spg: File is too short\n");

  // A listing renamed as an image is no image.
  write_file(
      dir.file("listing.spg"),
      "IMGTXT Version 1.03, Verbose format\r\n" + std::string(40000, ' '));
  r = send({"-p", dir.file("port"), "listing.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "listing.spg is not an image file: it does not start with 02 00 "
            "00 00 00\n");
  EXPECT_FALSE(file_exists(dir.file("port")));

  // Two names are most likely a glob; a snooze beyond an int would wrap.
  r = send({"-p", dir.file("port"), "short.spg", "tiny.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, usage_with_port(dir.file("port")));
  r = send({"-s", "99999999999", "-p", dir.file("port"), "short.spg"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "Snooze (99999999999) is out of range: at most 2147483647 "
            "milliseconds\n");
  EXPECT_FALSE(file_exists(dir.file("port")));
}

TEST(ImgsendCommandLine, PortFailures) {
  TempDir dir;
  write_file(dir.file("LOAD.SPG"), marked_image().substr(0, 26501));
  ProcessResult r = send({"-p", dir.file("none/port"), "LOAD.SPG"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot open " + dir.file("none/port") +
                       ": No such file or directory\n");

  write_file(dir.file("plain"), "");
  r = send({"-p", dir.file("plain"), "LOAD.SPG"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot set parameters for " + dir.file("plain") +
                       ": Inappropriate ioctl for device\n");
  EXPECT_EQ(read_file(dir.file("plain")), "");
}

TEST(ImgsendUpload, WholeFrameArrivesOnAPseudoTerminal) {
  TempDir dir;
  std::string image = marked_image();
  write_file(dir.file("load.spg"), image);

  int master = open("/dev/ptmx", O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  std::string slave = ptsname(master);

  timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  ProcessResult r = send({"-s", "0", "-p", slave}, dir, master);
  clock_gettime(CLOCK_MONOTONIC, &end);
  close(master);
  double seconds = static_cast<double>(end.tv_sec - start.tv_sec) +
                   static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
  RecordProperty("upload_seconds", std::to_string(seconds));

  EXPECT_EQ(r.status, 0) << r.err.substr(r.err.size() > 200 ? r.err.size() - 200
                                                            : 0);
  const std::string &got = r.master;
  ASSERT_EQ(got.size(), 26551u);
  EXPECT_EQ(got.substr(0, 50), std::string(50, '\xA5'));
  EXPECT_EQ(got.substr(50, 4), std::string("\x01\x98\x03R"));
  for (int n = 55; n <= 26550; ++n)
    ASSERT_EQ(got[n - 1], image[5 + 26550 - n]) << "byte " << n;
  EXPECT_EQ(got[55 - 1], '\x22');
  EXPECT_EQ(got[26550 - 1], '\x11');
  EXPECT_EQ(got[26551 - 1], 'Z');

  const std::string done = "\nDone!  Enjoy the upload.  (time was 00:0";
  size_t at = r.err.find(done);
  ASSERT_NE(at, std::string::npos) << r.err.substr(0, 100);
  EXPECT_EQ(at, 830u * 5);
  EXPECT_EQ(r.err.substr(0, 10), "  0%\r  0%\r");
  EXPECT_EQ(r.err.substr(at - 10, 10), "100%\r100%\r");
}

namespace {

/// A pseudo-terminal whose slave stands in for the serial port.
struct Pty {
  Pty() {
    master = open("/dev/ptmx", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
      slave = ptsname(master);
  }
  ~Pty() {
    if (master >= 0)
      close(master);
  }
  /// Waits up to two seconds for the first bytes of an upload.
  bool wait_for_bytes() const {
    pollfd ready = {master, POLLIN, 0};
    if (poll(&ready, 1, 2000) != 1)
      return false;
    char buffer[64];
    return read(master, buffer, sizeof buffer) > 0;
  }
  int master = -1;
  std::string slave;
};

ProcessOptions send_options(const TempDir &dir, int master_fd,
                            bool with_shim = true) {
  ProcessOptions options;
  options.cwd = dir.path;
  options.master_fd = master_fd;
  options.env = {"XDG_STATE_HOME=" + dir.file("state"),
                 "HOME=" + dir.file("home")};
  if (with_shim) {
    options.env.push_back(std::string("LD_PRELOAD=") + MODEM_SHIM);
    options.env.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
  }
  return options;
}

/// The terminal settings that matter here, for comparing before and after.
std::string line_settings(int fd) {
  termios t;
  if (tcgetattr(fd, &t) != 0)
    return "none";
  return std::to_string(t.c_cflag) + " " + std::to_string(t.c_iflag) + " " +
         std::to_string(t.c_oflag) + " " + std::to_string(t.c_lflag) + " " +
         std::to_string(cfgetospeed(&t));
}

}  // namespace

TEST(ImgsendUpload, ASignalStopsTheUploadAndPutsTheLineBack) {
  // Every signal that would end the program, SIGHUP of a closed terminal
  // and SIGQUIT among them, stops the upload as Ctrl-C does.
  for (int signal_number : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1,
                            SIGUSR2, SIGPIPE, SIGXCPU, SIGVTALRM, SIGPROF}) {
    TempDir dir;
    write_file(dir.file("load.spg"), marked_image());
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    std::string before = line_settings(pty.master);
    ProcessOptions options = send_options(dir, pty.master);
    bool started = false;
    options.started = [&](pid_t pid) {
      started = pty.wait_for_bytes();
      timespec pause = {0, 100000000};
      nanosleep(&pause, nullptr);
      kill(pid, signal_number);
    };
    ProcessResult r = run_process(
        {program_path("imgsend"), "-s", "20", "-p", pty.slave}, options);
    EXPECT_TRUE(started) << signal_number;
    EXPECT_EQ(r.status, 1) << signal_number;
    size_t at = r.err.find("\nUpload interrupted at byte ");
    ASSERT_NE(at, std::string::npos) << r.err.substr(0, 200);
    int byte = atoi(r.err.c_str() + at + 28);
    EXPECT_GE(byte, 54);
    EXPECT_LT(byte, 26551);
    EXPECT_EQ(line_settings(pty.master), before);
  }
}

TEST(ImgsendUpload, AFailedSetUpPutsTheLineBack) {
  TempDir dir;
  write_file(dir.file("load.spg"), marked_image());
  Pty pty;
  ASSERT_FALSE(pty.slave.empty());
  std::string before = line_settings(pty.master);
  // Without the shim the pseudo-terminal refuses to raise DTR.
  ProcessResult r = run_process({program_path("imgsend"), "-p", pty.slave},
                                send_options(dir, pty.master, false));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("Cannot set DTR for " + pty.slave + ": ", 0), 0u)
      << r.err;
  EXPECT_EQ(line_settings(pty.master), before);
}

TEST(ImgsendUpload, ThePortNeverBecomesTheControllingTerminal) {
  TempDir dir;
  write_file(dir.file("load.spg"), marked_image());
  Pty pty;
  ASSERT_FALSE(pty.slave.empty());
  // In a session of its own the uploader has no controlling terminal; the
  // first terminal it opened would become one.
  ProcessOptions options = send_options(dir, pty.master);
  options.new_session = true;
  long terminal = -1;
  options.started = [&](pid_t pid) {
    if (!pty.wait_for_bytes())
      return;
    std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    size_t name_end = stat.rfind(')');
    if (name_end == std::string::npos)
      return;
    long fields[5];
    if (sscanf(stat.c_str() + name_end + 1, " %*c %ld %ld %ld %ld", &fields[0],
               &fields[1], &fields[2], &fields[3]) == 4)
      terminal = fields[3];
  };
  ProcessResult r = run_process(
      {program_path("imgsend"), "-s", "1", "-p", pty.slave}, options);
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 200);
  EXPECT_EQ(terminal, 0);
}

TEST(ImgsendUpload, ClosedStandardDescriptorsTakeNoPort) {
  TempDir dir;
  write_file(dir.file("load.spg"), marked_image());
  Pty pty;
  ASSERT_FALSE(pty.slave.empty());
  // With 0 and 2 closed the image would take 0 and the port 2, and the
  // progress lines would go to the scanner inside the frame.
  ProcessOptions options = send_options(dir, pty.master);
  options.closed_fds = {0, 2};
  ProcessResult r = run_process(
      {program_path("imgsend"), "-s", "0", "-p", pty.slave}, options);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.master.size(), 26551u);
}

namespace {

/// The SHA-256 of a file, as sha256sum computes it.
std::string sha256sum(const std::string &path) {
  ProcessResult r = run_process({"/usr/bin/sha256sum", path}, "");
  return r.out.substr(0, 64);
}

/// The lines of a file.
std::vector<std::string> file_lines(const std::string &path) {
  std::vector<std::string> lines;
  std::string text = read_file(path);
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

}  // namespace

TEST(ImgsendJournal, EveryUploadIsRecordedWithACopyOfItsImage) {
  struct Case {
    const char *what;
    const char *state;  // XDG_STATE_HOME and HOME, @ for the test's folder
    const char *home;
    const char *option;
    bool shim;
    int stop;  // a signal once the first bytes arrive, -1 to hang up the
               // line, or 0
    const char *folder;  // where the record goes, or null for none
    const char *outcome;
    const char *warning;  // the end of the last line on standard error
    int status;
  };
  // A state folder that is a file, or a journal that is a folder, stands
  // for a read-only home even to root: the upload runs and says it was
  // not recorded.
  // clang-format off
  const std::vector<Case> cases = {
      {"done", "@/state", "@/home", "", true, 0,
       "@/state/scanner-memory-tools", "done", nullptr, 0},
      {"XDG_STATE_HOME empty", "", "@/home", "", true, 0,
       "@/home/.local/state/scanner-memory-tools", "done", nullptr, 0},
      {"interrupted", "@/state", "@/home", "", true, SIGHUP,
       "@/state/scanner-memory-tools", "interrupted", nullptr, 1},
      {"failed set-up", "@/state", "@/home", "", false, 0,
       "@/state/scanner-memory-tools", "failed", nullptr, 1},
      {"line hung up", "@/state", "@/home", "", true, -1,
       "@/state/scanner-memory-tools", "failed", nullptr, 1},
      {"-n", "@/state", "@/home", "-n", true, 0, nullptr, nullptr, nullptr, 0},
      {"unwritable", "@/plain", "@/home", "", true, 0, nullptr, nullptr,
       "@/plain/scanner-memory-tools: Not a directory\n", 0},
      {"journal a folder", "@/odd", "@/home", "", true, 0, nullptr, nullptr,
       "@/odd/scanner-memory-tools/uploads.log: Is a directory\n", 0},
      {"no home", "", "", "", true, 0, nullptr, nullptr,
       "neither XDG_STATE_HOME nor HOME is set\n", 0},
  };
  // clang-format on
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    auto in_dir = [&](std::string text) {
      size_t at = text.find('@');
      return at == std::string::npos ? text : text.replace(at, 1, dir.path);
    };
    write_file(dir.file("load.spg"), marked_image());
    write_file(dir.file("plain"), "a file\n");
    mkdir(dir.file("odd").c_str(), 0700);
    mkdir(dir.file("odd/scanner-memory-tools").c_str(), 0700);
    mkdir(dir.file("odd/scanner-memory-tools/uploads.log").c_str(), 0700);
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    ProcessOptions options = send_options(dir, pty.master, c.shim);
    options.env[0] = "XDG_STATE_HOME=" + in_dir(c.state);
    options.env[1] = "HOME=" + in_dir(c.home);
    if (c.stop)
      options.started = [&](pid_t pid) {
        pty.wait_for_bytes();
        timespec pause = {0, 100000000};
        nanosleep(&pause, nullptr);
        if (c.stop > 0) {
          kill(pid, c.stop);
        } else {
          close(pty.master);
          pty.master = -1;
        }
      };
    // Only an upload to be stopped needs to take its time.
    std::vector<std::string> argv = {program_path("imgsend"), "-s",
                                     c.stop ? "20" : "0", "-p", pty.slave};
    if (*c.option)
      argv.push_back(c.option);
    ProcessResult r = run_process(argv, options);
    EXPECT_EQ(r.status, c.status);
    if (c.warning) {
      std::string tail =
          std::string("Warning: upload not recorded: ") + in_dir(c.warning);
      ASSERT_GE(r.err.size(), tail.size());
      EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail);
    } else {
      EXPECT_EQ(r.err.find("Warning"), std::string::npos) << r.err;
    }
    if (!c.folder) {
      EXPECT_FALSE(file_exists(dir.file("state")));
      EXPECT_FALSE(file_exists(dir.file("home")));
      continue;
    }
    std::string folder = in_dir(c.folder);
    std::string sha = sha256sum(dir.file("load.spg"));
    ASSERT_EQ(sha.size(), 64u);
    EXPECT_EQ(read_file(folder + "/images/" + sha + ".spg"), marked_image());
    std::vector<std::string> lines = file_lines(folder + "/uploads.log");
    ASSERT_EQ(lines.size(), 1u);
    // time, outcome, bytes sent, port, SHA-256 and the image's name.
    std::vector<std::string> fields;
    for (size_t at = 0;;) {
      size_t tab = lines[0].find('\t', at);
      fields.push_back(lines[0].substr(at, tab - at));
      if (tab == std::string::npos)
        break;
      at = tab + 1;
    }
    ASSERT_EQ(fields.size(), 6u) << lines[0];
    EXPECT_EQ(fields[0].size(), 20u);
    EXPECT_EQ(fields[0][10], 'T');
    EXPECT_EQ(fields[0].back(), 'Z');
    EXPECT_EQ(fields[1], c.outcome);
    long sent = -1, total = -1;
    sscanf(fields[2].c_str(), "%ld/%ld", &sent, &total);
    EXPECT_EQ(total, 26551);
    // The bytes sent: all, none before a failed set-up, or as the last
    // message says.
    if (std::string(c.outcome) == "done")
      EXPECT_EQ(sent, 26551);
    else if (!c.shim)
      EXPECT_EQ(sent, 0);
    else if (c.stop > 0)
      EXPECT_NE(
          r.err.find("Upload interrupted at byte " + std::to_string(sent)),
          std::string::npos);
    else
      EXPECT_NE(r.err.find("Cannot write byte " + std::to_string(sent + 1)),
                std::string::npos)
          << r.err.substr(r.err.size() > 200 ? r.err.size() - 200 : 0);
    EXPECT_EQ(fields[3], pty.slave);
    EXPECT_EQ(fields[4], sha);
    char real[PATH_MAX];
    ASSERT_NE(realpath(dir.file("load.spg").c_str(), real), nullptr);
    EXPECT_EQ(fields[5], real);
  }
}
