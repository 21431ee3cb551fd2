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
         "  filename.spg is the input file which must end with .spg\n"
         "          (defaults to load.spg)\n"
         "imgsend [-f] [-n] [-p port] [-s snooze] [filename.spg]\n"
         "  -f sends an image the scanner would misread, after naming what "
         "it would\n"
         "  -n keeps no record of the upload (no journal, no copy)\n"
         "  - as filename.spg is standard input\n"
         "  --help prints what the program is for and this text\n"
         "  --version prints the version\n";
}

const char try_help[] = "Try 'imgsend --help' for more information.\n";

/// The sample image, whose body holds 0x11 at offset 0, with 0x22 at the
/// end: an image the scanner reads as it is.
std::string marked_image() {
  std::string image = read_file(EXAMPLES_DIR "/sample.spg");
  image[5] = 0x11;
  image[5 + 26495] = 0x22;
  return image;
}

ProcessResult send(const std::vector<std::string> &args, const TempDir &dir,
                   int master_fd = -1,
                   const std::vector<std::string> &more_env = {}) {
  std::vector<std::string> argv = {program_path("imgsend")};
  argv.insert(argv.end(), args.begin(), args.end());
  // The record of uploads goes into the test's folder, never a real home.
  std::vector<std::string> env = {std::string("LD_PRELOAD=") + MODEM_SHIM,
                                  "ASAN_OPTIONS=verify_asan_link_order=0",
                                  "XDG_STATE_HOME=" + dir.file("state"),
                                  "HOME=" + dir.file("home")};
  env.insert(env.end(), more_env.begin(), more_env.end());
  return run_process(argv, dir.path, env, master_fd);
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
  std::string text = usage_with_port("/dev/ttyS0") + try_help;
  ASSERT_GE(r.err.size(), text.size());
  EXPECT_EQ(r.err.substr(r.err.size() - text.size()), text);
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
  EXPECT_EQ(r.err, usage_with_port(dir.file("port")) + try_help);
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

  // A port the user may not open: the group that may is named.
  for (int error : {EACCES, EPERM}) {
    r = send({"-p", dir.file("plain"), "-n", "LOAD.SPG"}, dir, -1,
             {"SHIM_DENY_PATH=" + dir.file("plain"),
              "SHIM_DENY_ERRNO=" + std::to_string(error)});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot open " + dir.file("plain") + ": " +
                         strerror(error) +
                         "\nIs your user in the group that "
                         "owns " +
                         dir.file("plain") + " (often dialout)?\n");
  }
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
    const char *warning;  // the first line on standard error
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
       "@/odd/scanner-memory-tools/uploads.log: not a regular file\n", 0},
      {"journal a pipe", "@/pipe", "@/home", "", true, 0, nullptr, nullptr,
       "@/pipe/scanner-memory-tools/uploads.log: not a regular file\n", 0},
      {"journal cut by a size limit", "@/state", "@/home", "", true, 0,
       nullptr, nullptr,
       "@/state/scanner-memory-tools/uploads.log: File too large\n", 0},
      {"relative XDG_STATE_HOME", "state", "@/home", "", true, 0,
       "@/home/.local/state/scanner-memory-tools", "done", nullptr, 0},
      {"no home", "", "", "", true, 0, nullptr, nullptr,
       "neither XDG_STATE_HOME nor HOME names an absolute folder\n", 0},
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
    mkdir(dir.file("pipe").c_str(), 0700);
    mkdir(dir.file("pipe/scanner-memory-tools").c_str(), 0700);
    mkfifo(dir.file("pipe/scanner-memory-tools/uploads.log").c_str(), 0600);
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    ProcessOptions options = send_options(dir, pty.master, c.shim);
    options.env[0] = "XDG_STATE_HOME=" + in_dir(c.state);
    options.env[1] = "HOME=" + in_dir(c.home);
    if (std::string(c.what) == "journal cut by a size limit")
      options.file_size_limit = 100;
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
      // Said before the upload begins.
      std::string head =
          std::string("Warning: upload not recorded: ") + in_dir(c.warning);
      EXPECT_EQ(r.err.substr(0, head.size()), head);
    } else {
      EXPECT_EQ(r.err.find("Warning"), std::string::npos) << r.err;
    }
    if (!c.folder) {
      // Nothing recorded: no copy, and a journal line cut short at most.
      EXPECT_FALSE(file_exists(dir.file("home")));
      std::string images = dir.file("state/scanner-memory-tools/images");
      EXPECT_TRUE(!file_exists(images) || files_in(images).empty());
      continue;
    }
    std::string folder = in_dir(c.folder);
    std::string sha = sha256sum(dir.file("load.spg"));
    ASSERT_EQ(sha.size(), 64u);
    EXPECT_EQ(read_file(folder + "/images/" + sha + ".spg"), marked_image());
    std::vector<std::string> lines = file_lines(folder + "/uploads.log");
    ASSERT_EQ(lines.size(), 2u);
    // time, outcome, bytes sent, port, SHA-256, the image's name and the
    // process: the line that begins the upload, then the one that ends it.
    std::vector<std::string> begun, fields;
    for (auto [line, into] : {std::pair{lines[0], &begun}, {lines[1], &fields}})
      for (size_t at = 0;;) {
        size_t tab = line.find('\t', at);
        into->push_back(line.substr(at, tab - at));
        if (tab == std::string::npos)
          break;
        at = tab + 1;
      }
    ASSERT_EQ(begun.size(), 7u) << lines[0];
    ASSERT_EQ(fields.size(), 7u) << lines[1];
    EXPECT_EQ(begun[1], "begun");
    EXPECT_EQ(begun[2], "0/26551");
    for (int i : {0, 3, 4, 5, 6})
      EXPECT_EQ(begun[i], fields[i]) << i;
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

TEST(ImgsendGate, WhatTheScannerWouldMisreadIsNotSent) {
  // Bank 0 channel 0 of the sample: 11 56 22 00 CE 04, PL 123.0 Hz.
  auto with = [](int offset, const std::string &bytes) {
    std::string image = marked_image();
    image.replace(5 + static_cast<size_t>(offset), bytes.size(), bytes);
    return image;
  };
  std::string twelve = marked_image();
  for (int k = 0; k < 12; ++k)
    twelve[5 + 18 * k + 2] = 0x27;  // mode index 7
  const std::string not_sent =
      "Not sent: the scanner would misread 1 record; fix it or send anyway "
      "with -f\n";
  struct Case {
    std::string image;
    std::vector<std::string> args;
    int status;
    std::string err;  ///< its start
    bool sent;
  };
  const Case cases[] = {
      {with(2, "\x27"),
       {},
       1,
       "load.spg: bank 0 channel 0: mode index 7 is not a mode (0 to 6)\n" +
           not_sent,
       false},
      {with(2, "\x72"),
       {},
       1,
       "load.spg: bank 0 channel 0: band number 7 is not a band (0 to 4)\n" +
           not_sent,
       false},
      {with(4, std::string("\x00\x01", 2)),
       {},
       1,
       "load.spg: bank 0 channel 0: PL tone bytes 00 01 show no tone\n" +
           not_sent,
       false},
      {with(934, "\x09"),
       {},
       1,
       "load.spg: bank 0: bank type 9 is not a bank type (0 to 6)\n" + not_sent,
       false},
      // Bank 4 is a Motorola bank, whose fleet map is read.
      {with(4 * 2443 + 935, "\x0F"),
       {},
       1,
       "load.spg: bank 4: fleet map block 0 has size code 15, above 14\n" +
           not_sent,
       false},
      {twelve,
       {},
       1,
       "load.spg: bank 0 channel 0: mode index 7 is not a mode (0 to 6)\n",
       false},
      // -f sends anyway, after naming what the scanner would misread.
      {with(2, "\x27"),
       {"-f"},
       0,
       "load.spg: bank 0 channel 0: mode index 7 is not a mode (0 to 6)\n"
       "  0%\r",
       true},
      // Advice is given, and the upload goes on.
      {with(4, "\xD2"),
       {},
       0,
       "Warning: load.spg: bank 0 channel 0: PL tone 123.4 is not a standard "
       "CTCSS tone, the nearest is 123.0\n  0%\r",
       true},
      {with(6, "\tAB"),
       {},
       0,
       "Warning: load.spg: bank 0 channel 0: tag \"?ABNTY FIRE \" holds "
       "control bytes (09), which no display shows; stored as they are\n",
       true},
      // A snooze is a whole number of milliseconds.
      {marked_image(),
       {"-s", "2O"},
       1,
       "Snooze time \"2O\" is not a whole number of milliseconds\n"
       "imgsend [-h]",
       false},
      {marked_image() + std::string(1 << 20, '\0'),
       {},
       1,
       "load.spg is too large to be an image file: more than 1048576 bytes\n",
       false},
  };
  for (const Case &c : cases) {
    TempDir dir;
    write_file(dir.file("load.spg"), c.image);
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    std::vector<std::string> args = {"-s", "0", "-p", pty.slave};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ProcessResult r = send(args, dir, pty.master);
    EXPECT_EQ(r.status, c.status) << r.err.substr(0, 300);
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
    EXPECT_EQ(r.master.size(), c.sent ? 26551u : 0u);
    // Refused: not even the begun line of a journal.
    EXPECT_EQ(file_exists(dir.file("state")), c.sent);
  }
  // Twelve records: ten named, then a count.
  TempDir dir;
  write_file(dir.file("load.spg"), twelve);
  ProcessResult r = send({"-p", dir.file("port")}, dir);
  EXPECT_NE(r.err.find("load.spg: bank 0 channel 9: mode index 7"),
            std::string::npos);
  EXPECT_EQ(r.err.find("bank 0 channel 10:"), std::string::npos);
  EXPECT_NE(r.err.find("load.spg: 2 more like these\nNot sent: the scanner "
                       "would misread 12 records; fix them or send anyway "
                       "with -f\n"),
            std::string::npos);
  EXPECT_FALSE(file_exists(dir.file("port")));
}

TEST(ImgsendJournal, AnUploadKilledMidwayIsNamedByImgdiffLast) {
  TempDir dir;
  write_file(dir.file("load.spg"), marked_image());
  Pty pty;
  ASSERT_FALSE(pty.slave.empty());
  ProcessOptions options = send_options(dir, pty.master);
  options.started = [&](pid_t pid) {
    pty.wait_for_bytes();
    kill(pid, SIGKILL);
  };
  ProcessResult r = run_process(
      {program_path("imgsend"), "-s", "20", "-p", pty.slave}, options);
  EXPECT_EQ(r.signal, SIGKILL);
  // The last upload that completed, then the one killed: it has no end.
  std::string folder = dir.file("state/scanner-memory-tools");
  std::string text = read_file(folder + "/uploads.log");
  ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  std::string sha = text.substr(text.find('\t', 30) + 1, 64);
  write_file(folder + "/uploads.log", text.substr(0, 21) + "done\t26551/26551" +
                                          text.substr(text.find('\t', 30)) +
                                          text);
  r = run_process({program_path("imgdiff"), "--last", dir.file("load.spg")}, "",
                  {"XDG_STATE_HOME=" + dir.file("state")});
  std::string began = text.substr(0, 20);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "Warning: the upload begun " + began + " to " + pty.slave +
                       " has no end: the scanner may hold a partial image\n");
}
