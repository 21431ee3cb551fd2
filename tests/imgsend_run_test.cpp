// The uploader run as a process: its command line, its failures and a whole
// upload into a pseudo-terminal.
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>

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
  return run_process(argv, dir.path,
                     {std::string("LD_PRELOAD=") + MODEM_SHIM,
                      "ASAN_OPTIONS=verify_asan_link_order=0"},
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
  EXPECT_EQ(r.err.rfind("Cannot read spg data from short.spg: ", 0), 0u)
      << r.err;
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
