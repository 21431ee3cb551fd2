// The uploader against a recording serial line: frame, pauses, parity
// changes, progress and failures.
#include "imgsend/imgsend.h"

#include <errno.h>
#include <signal.h>
#include <string.h>
#include <sys/ioctl.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/file_injection.h"
#include "tests/process.h"

namespace {

/// One device operation as the fake saw it.
struct Event {
  enum Kind { write, drain, apply, set_line, clear_line, sleep } kind;
  long long value;  // byte, control flags, modem bit or microseconds
  int written;      // bytes written before this operation
};

/// Records every operation; can be told to fail one of them.
struct RecordingLine : SerialLine {
  bool write_byte(unsigned char byte) override {
    if (written + 1 == fail_write_at) {
      errno = EIO;
      return false;
    }
    events.push_back({Event::write, byte, written++});
    return true;
  }
  bool drain() override {
    events.push_back({Event::drain, 0, written});
    return true;
  }
  bool apply_attributes(const termios &attributes) override {
    events.push_back({Event::apply, attributes.c_cflag, written});
    if (fail_apply) {
      errno = ENOTTY;
      return false;
    }
    return true;
  }
  bool set_modem_line(int bit) override {
    events.push_back({Event::set_line, bit, written});
    return true;
  }
  bool clear_modem_line(int bit) override {
    events.push_back({Event::clear_line, bit, written});
    return true;
  }
  void sleep_us(long long microseconds) override {
    events.push_back({Event::sleep, microseconds, written});
  }
  std::vector<Event> events;
  int written = 0;
  int fail_write_at = 0;
  bool fail_apply = false;
};

/// Collects what a run writes on its diagnostic stream.
struct Capture {
  Capture() : stream(open_memstream(&data, &size)) {}
  ~Capture() {
    fclose(stream);
    free(data);
  }
  std::string text() {
    fflush(stream);
    return std::string(data, size);
  }
  char *data = nullptr;
  size_t size = 0;
  FILE *stream;
};

std::vector<unsigned char> make_frame() {
  static ImageBody image;
  for (int i = 0; i < body_size; ++i)
    image.bytes[i] = static_cast<unsigned char>(i * 31 + 7);
  image.bytes[0] = 0x11;
  image.bytes[body_size - 1] = 0x22;
  std::vector<unsigned char> frame(frame_size);
  build_upload_frame(image, frame.data());
  return frame;
}

}  // namespace

TEST(UploadFrame, HasPreambleOpeningReversedBodyAndClosingByte) {
  std::vector<unsigned char> frame = make_frame();
  for (int n = 1; n <= 50; ++n)
    ASSERT_EQ(frame[n - 1], 0xA5) << n;
  EXPECT_EQ(frame[50], 0x01);
  EXPECT_EQ(frame[51], 0x98);
  EXPECT_EQ(frame[52], 0x03);
  EXPECT_EQ(frame[53], 0x52);
  EXPECT_EQ(frame[55 - 1], 0x22);
  EXPECT_EQ(frame[26550 - 1], 0x11);
  EXPECT_EQ(frame[1000 - 1],
            static_cast<unsigned char>((26550 - 1000) * 31 + 7));
  EXPECT_EQ(frame[26551 - 1], 0x5A);
}

TEST(Transfer, WritesEveryByteWithPausesAndParityChanges) {
  std::vector<unsigned char> frame = make_frame();
  RecordingLine line;
  Capture err;
  termios attributes;
  set_up_line(line, &attributes, "/dev/fake", err.stream);
  transfer_frame(line, &attributes, frame.data(), 20, "/dev/fake", err.stream);

  // Set-up: even parity at 4,800 baud, then DTR raised and RTS dropped.
  ASSERT_GE(line.events.size(), 3u);
  EXPECT_EQ(line.events[0].kind, Event::apply);
  EXPECT_EQ(line.events[0].value, 0x9FC);
  EXPECT_EQ(line.events[1].kind, Event::set_line);
  EXPECT_EQ(line.events[1].value, TIOCM_DTR);
  EXPECT_EQ(line.events[2].kind, Event::clear_line);
  EXPECT_EQ(line.events[2].value, TIOCM_RTS);

  std::vector<unsigned char> sent;
  std::vector<int> pauses;        // bytes written when each pause began
  std::vector<long long> sleeps;  // total sleep of each pause
  std::vector<Event> applies;
  for (size_t i = 3; i < line.events.size(); ++i) {
    const Event &e = line.events[i];
    if (e.kind == Event::write) {
      sent.push_back(static_cast<unsigned char>(e.value));
    } else if (e.kind == Event::apply) {
      ASSERT_EQ(line.events[i - 1].kind, Event::drain)
          << "parity change without a drain before it";
      applies.push_back(e);
    } else if (e.kind == Event::drain &&
               (i + 1 == line.events.size() ||
                line.events[i + 1].kind != Event::apply)) {
      pauses.push_back(e.written);
      sleeps.push_back(0);
    } else if (e.kind == Event::sleep) {
      ASSERT_FALSE(sleeps.empty());
      sleeps.back() += e.value;
    }
  }
  EXPECT_EQ(sent, frame);

  std::vector<int> expected_pauses = {54};
  for (int n = 86; n <= 26550; n += 32)
    expected_pauses.push_back(n);
  expected_pauses.push_back(26551);
  EXPECT_EQ(pauses.size(), 830u);
  EXPECT_EQ(pauses, expected_pauses);
  EXPECT_EQ(sleeps.front(), 60000);
  for (size_t i = 1; i < sleeps.size(); ++i)
    ASSERT_EQ(sleeps[i], 20000) << "pause after byte " << pauses[i];

  ASSERT_EQ(applies.size(), 2u);
  EXPECT_EQ(applies[0].written, 54);
  EXPECT_EQ(applies[0].value, 0xBFC);
  EXPECT_EQ(applies[1].written, 26550);
  EXPECT_EQ(applies[1].value, 0x9FC);

  std::string progress = err.text();
  std::string expected_progress;
  for (int n : expected_pauses) {
    char text[16];
    snprintf(text, sizeof text, "%3d%%\r", n / 265);
    expected_progress += text;
  }
  EXPECT_EQ(progress, expected_progress);
  EXPECT_EQ(progress.substr(0, 5), "  0%\r");
  EXPECT_EQ(progress.substr(progress.size() - 10), "100%\r100%\r");
}

TEST(Transfer, ZeroOrNegativeSnoozeNeverSleeps) {
  std::vector<unsigned char> frame = make_frame();
  for (int snooze : {0, -5}) {
    RecordingLine line;
    Capture err;
    termios attributes;
    set_up_line(line, &attributes, "p", err.stream);
    transfer_frame(line, &attributes, frame.data(), snooze, "p", err.stream);
    int drains = 0;
    for (const Event &e : line.events) {
      ASSERT_NE(e.kind, Event::sleep) << "snooze " << snooze;
      drains += e.kind == Event::drain;
    }
    EXPECT_EQ(drains, 830 + 2);
  }
}

TEST(Transfer, ReportsTheByteNumberOfAFailedWrite) {
  std::vector<unsigned char> frame = make_frame();
  for (int n : {1, 55, 26551}) {
    RecordingLine line;
    line.fail_write_at = n;
    Capture err;
    termios attributes;
    set_up_line(line, &attributes, "/dev/pts/9", err.stream);
    EXPECT_THROW(transfer_frame(line, &attributes, frame.data(), 0,
                                "/dev/pts/9", err.stream),
                 SendFailure);
    std::string text = err.text();
    std::string expected = "Cannot write byte " + std::to_string(n) +
                           " to /dev/pts/9: " + strerror(EIO) + "\n";
    ASSERT_GE(text.size(), expected.size());
    EXPECT_EQ(text.substr(text.size() - expected.size()), expected);
    EXPECT_EQ(line.written, n - 1);
  }
}

TEST(Transfer, AStopRequestEndsTheTransferAndNamesTheLastByteSent) {
  std::vector<unsigned char> frame = make_frame();
  // The request arrives during byte 1000's write, which it interrupts, and
  // during the pause after byte 86.
  struct InterruptedLine : RecordingLine {
    bool write_byte(unsigned char byte) override {
      if (written + 1 == stop_at_write) {
        request_upload_stop(SIGTERM);
        errno = EINTR;
        return false;
      }
      return RecordingLine::write_byte(byte);
    }
    void sleep_us(long long microseconds) override {
      RecordingLine::sleep_us(microseconds);
      if (written == stop_in_pause)
        request_upload_stop(SIGINT);
    }
    int stop_at_write = 0;
    int stop_in_pause = 0;
  };
  for (int at_write : {1000, 0}) {
    InterruptedLine line;
    line.stop_at_write = at_write;
    line.stop_in_pause = at_write ? 0 : 86;
    Capture err;
    termios attributes;
    clear_upload_stop();
    set_up_line(line, &attributes, "p", err.stream);
    EXPECT_THROW(
        transfer_frame(line, &attributes, frame.data(), 20, "p", err.stream),
        SendFailure);
    clear_upload_stop();
    std::string text = err.text();
    std::string expected = at_write ? "\nUpload interrupted at byte 999\n"
                                    : "  0%\r\nUpload interrupted at byte 86\n";
    ASSERT_GE(text.size(), expected.size());
    EXPECT_EQ(text.substr(text.size() - expected.size()), expected);
    EXPECT_EQ(line.written, at_write ? 999 : 86);
  }
}

TEST(Transfer, RefusedAttributesStopTheSetUp) {
  RecordingLine line;
  line.fail_apply = true;
  Capture err;
  termios attributes;
  EXPECT_THROW(set_up_line(line, &attributes, "notatty", err.stream),
               SendFailure);
  EXPECT_EQ(err.text(), std::string("Cannot set parameters for notatty: ") +
                            strerror(ENOTTY) + "\n");
  EXPECT_EQ(line.events.size(), 1u);
}

TEST(Transfer, CompletionShowsElapsedTime) {
  RecordingLine line;
  Capture err;
  finish_upload(line, 1000, 1083, "p", err.stream);
  EXPECT_EQ(err.text(), "\nDone!  Enjoy the upload.  (time was 01:23)\n");
  ASSERT_EQ(line.events.size(), 1u);
  EXPECT_EQ(line.events[0].kind, Event::drain);

  char text[16];
  format_elapsed(3725, text, sizeof text);
  EXPECT_STREQ(text, "62:05");
  format_elapsed(0, text, sizeof text);
  EXPECT_STREQ(text, "00:00");
}

namespace {

/// Parses a command line; its words live to the end of the test program,
/// since the options point into them.
SendOptions parse(std::vector<std::string> words_given, bool *ok) {
  static std::vector<std::vector<std::string>> kept;
  kept.push_back(std::move(words_given));
  std::vector<std::string> &words = kept.back();
  std::vector<char *> argv;
  for (std::string &w : words)
    argv.push_back(w.data());
  argv.push_back(nullptr);
  SendOptions options;
  opterr = 0;
  *ok =
      parse_send_options(static_cast<int>(words.size()), argv.data(), &options);
  opterr = 1;
  return options;
}

}  // namespace

TEST(SendOptions, DefaultsAndOverrides) {
  bool ok;
  SendOptions o = parse({"imgsend"}, &ok);
  EXPECT_TRUE(ok);
  EXPECT_STREQ(o.image_name, "load.spg");
  EXPECT_STREQ(o.port, "/dev/ttyS0");
  EXPECT_EQ(o.snooze, 20);

  o = parse({"imgsend", "-p", "/tmp/a", "-s", "7", "-p", "/tmp/b", "x.spg"},
            &ok);
  EXPECT_TRUE(ok);
  EXPECT_STREQ(o.port, "/tmp/b");
  EXPECT_EQ(o.snooze, 7);
  EXPECT_STREQ(o.image_name, "x.spg");

  o = parse({"imgsend", "-s", "2147483647", "-f", "-n"}, &ok);
  EXPECT_TRUE(o.snooze_number && o.snooze_fits && o.force && !o.record);
  EXPECT_EQ(o.snooze, 2147483647);
  EXPECT_EQ(parse({"imgsend", "-s", "0"}, &ok).snooze, 0);
  // A whole number of milliseconds and nothing else; beyond an int the
  // snooze is refused, not wrapped round.
  for (const char *text : {"abc", "2O", " 20", "-12", "+5", "20ms", "", "1e3"})
    EXPECT_FALSE(parse({"imgsend", "-s", text}, &ok).snooze_number) << text;
  for (const char *text :
       {"99999999999", "2147483648", "999999999999999999999999"})
    EXPECT_FALSE(parse({"imgsend", "-s", text}, &ok).snooze_fits) << text;

  // A second image name is most likely a glob: the usage text is due.
  parse({"imgsend", "x.spg", "y.spg"}, &ok);
  EXPECT_FALSE(ok);
}

TEST(SendOptions, UsageNamesThePortSetBeforeIt) {
  bool ok;
  SendOptions o = parse({"imgsend", "-p", "X", "-h"}, &ok);
  EXPECT_FALSE(ok);
  EXPECT_STREQ(o.port, "X");
  o = parse({"imgsend", "-h", "-p", "X"}, &ok);
  EXPECT_FALSE(ok);
  EXPECT_STREQ(o.port, "/dev/ttyS0");
  parse({"imgsend", "-q"}, &ok);
  EXPECT_FALSE(ok);
  parse({"imgsend", "-s"}, &ok);
  EXPECT_FALSE(ok);
}

TEST(Transfer, EachFailedDeviceCallIsNamed) {
  // A line whose n-th drain, n-th application of attributes or clearing
  // of RTS fails, with or without a stop requested just before.
  struct FailingLine : RecordingLine {
    bool drain() override {
      RecordingLine::drain();
      if (++drains == fail_drain_at) {
        if (stop)
          request_upload_stop(SIGHUP);
        errno = EIO;
        return false;
      }
      return true;
    }
    bool apply_attributes(const termios &attributes) override {
      RecordingLine::apply_attributes(attributes);
      errno = EIO;
      return ++applied != fail_apply_at;
    }
    bool clear_modem_line(int bit) override {
      RecordingLine::clear_modem_line(bit);
      errno = EIO;
      return !fail_clear;
    }
    int drains = 0, fail_drain_at = 0, applied = 0, fail_apply_at = 0;
    bool fail_clear = false, stop = false;
  };
  struct Case {
    int drain, apply;
    bool clear, stop;
    const char *ending;  // the last line on the diagnostic stream
  };
  const std::string reason = std::string(": ") + strerror(EIO) + "\n";
  const std::vector<Case> cases = {
      {0, 0, true, false, "Cannot clear RTS for p"},
      {0, 2, false, false, "Cannot flip to odd parity for p"},
      {0, 3, false, false, "Cannot flip to even parity for p"},
      {1, 0, false, false, "Cannot drain output to p"},
      {2, 0, false, true, "Upload interrupted at byte 54\n"},
      // The drain at completion.
      {833, 0, false, false, "Cannot drain output to p"},
      {833, 0, false, true, "Upload interrupted at byte 26551\n"},
  };
  std::vector<unsigned char> frame = make_frame();
  for (const Case &c : cases) {
    FailingLine line;
    line.fail_drain_at = c.drain;
    line.fail_apply_at = c.apply;
    line.fail_clear = c.clear;
    line.stop = c.stop;
    Capture err;
    termios attributes;
    clear_upload_stop();
    EXPECT_THROW(
        {
          set_up_line(line, &attributes, "p", err.stream);
          transfer_frame(line, &attributes, frame.data(), 0, "p", err.stream);
          finish_upload(line, 0, 0, "p", err.stream);
        },
        SendFailure);
    clear_upload_stop();
    std::string ending = c.ending;
    if (ending.back() != '\n')
      ending += reason;
    std::string text = err.text();
    ASSERT_GE(text.size(), ending.size()) << c.ending;
    EXPECT_EQ(text.substr(text.size() - ending.size()), ending);
  }
}

TEST(Transfer, AnImageFileThatCannotBeReadIsNotSent) {
  TempDir dir;
  write_file(dir.file("a.spg"),
             read_file(std::string(EXAMPLES_DIR) + "/sample.spg"));
  write_file(dir.file("port"), "");
  std::string port = dir.file("port"), image = dir.file("a.spg");
  std::vector<char *> argv = {
      const_cast<char *>("imgsend"), const_cast<char *>("-n"),
      const_cast<char *>("-p"), port.data(), image.data()};
  Capture err;
  {
    Injection injection("read", EIO);
    EXPECT_EQ(
        run_imgsend(static_cast<int>(argv.size()), argv.data(), err.stream), 1);
  }
  EXPECT_EQ(err.text(),
            "Cannot read spg data from " + image + ": Input/output error\n");
  EXPECT_EQ(read_file(port), "");
}
