// imgedit run end to end, with editors that are small shell commands: no
// change, a good edit and its change lines, broken edits kept, a bank of
// its own, failing editors, a second imgedit, SIGTERM, and the question on
// a terminal.
#include <errno.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imgedit/imgedit.h"
#include "tests/file_injection.h"
#include "tests/process.h"

namespace {

std::string sample_image() {
  return read_file(EXAMPLES_DIR "/sample.spg");
}

/// A folder with the sample image as img.spg and a private temporary
/// folder, which must be empty again when imgedit is done.
struct Workspace {
  Workspace() {
    write_file(dir.file("img.spg"), sample_image());
    mkdir(dir.file("tmp").c_str(), 0700);
  }
  ProcessResult run(const std::string &editor,
                    const std::vector<std::string> &args = {"img.spg"},
                    const ProcessOptions &more = {}) {
    ProcessOptions options = more;
    options.cwd = dir.path;
    options.env = {"EDITOR=" + editor, "VISUAL=", "TMPDIR=" + dir.file("tmp")};
    options.env.insert(options.env.end(), more.env.begin(), more.env.end());
    std::vector<std::string> argv = {program_path("imgedit")};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_process(argv, options);
  }
  bool temporary_folder_empty() const {
    return files_in(dir.file("tmp")).empty();
  }
  TempDir dir;
};

/// The sample image with the bytes from an offset of the body replaced.
std::string sample_with(int body_offset, const std::string &bytes) {
  std::string image = sample_image();
  image.replace(5 + static_cast<size_t>(body_offset), bytes.size(), bytes);
  return image;
}

}  // namespace

TEST(Imgedit, EditorsThatChangeNothingOrSomething) {
  struct Case {
    const char *editor;
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string image;  ///< the image file afterwards
  };
  // Channel 1 of bank 0 on 155.4800 MHz: 18 MHz and 96 steps of 5 kHz above
  // 137 MHz, band 2, FM: 12 60 21.
  const Case cases[] = {
      {"true", {"img.spg"}, 0, "imgedit: no change\n", sample_image()},
      // Only comments and blanks changed: the image means the same.
      {"sed -i -e '1i # a note' -e 's/^  1  12 5F/\\t1\\t12 5F/'",
       {"img.spg"},
       0,
       "imgedit: no change\n",
       sample_image()},
      {"sed -i s/155.4750/155.4800/",
       {"img.spg"},
       0,
       "bank 0 channel 1: 155.4750 FM -> 155.4800 FM\nimgedit: img.spg "
       "written\n",
       sample_with(18, "\x12\x60\x21")},
      // A bank of its own: the file holds that bank's section alone.
      {"sed -i -e '/Bank 0/q1' -e 's/>DISPATCH    </>DISPATCH 1  </'",
       {"-b", "3", "img.spg"},
       0,
       "bank 3 talkgroup 1: 105023 Scan \"DISPATCH    \" -> 105023 Scan "
       "\"DISPATCH 1  \"\n"
       "imgedit: img.spg written\n",
       sample_with(3 * 2443 + 1043 + 2, "DISPATCH 1  ")},
      // A channel line deleted: the channel is emptied.
      {"sed -i '/STATE MUTUAL/d'",
       {"img.spg"},
       0,
       "bank 0 channel 1: 155.4750 FM -> 0.0000 FM U---\n"
       "bank 0 channel 1: tag \"STATE MUTUAL\" -> \"            \"\n"
       "imgedit: img.spg written\n",
       sample_with(18,
                   std::string("\x00\x00\x01\x08\x00\x00            ", 18))},
  };
  for (const Case &c : cases) {
    Workspace w;
    ProcessResult r = w.run(c.editor, c.args);
    EXPECT_EQ(r.status, c.status) << c.editor << "\n" << r.err;
    EXPECT_EQ(r.out, c.out) << c.editor;
    EXPECT_EQ(r.err, "") << c.editor;
    EXPECT_TRUE(read_file(w.dir.file("img.spg")) == c.image) << c.editor;
    EXPECT_TRUE(w.temporary_folder_empty());
    EXPECT_FALSE(file_exists(w.dir.file("img.spg.edit.asc")));
  }
}

TEST(Imgedit, EditsNotWrittenAreKept) {
  struct Case {
    const char *editor;
    std::string err;
    const char *kept;  ///< a text the kept edits hold, or null for none
  };
  const Case cases[] = {
      // Findings and no terminal to ask on.
      {"sed -i s/155.4750/abc/",
       "Error: frequency \"abc\" is not a number in MHz; a channel line is "
       "NUMBER [CODE BYTES] >TAG< FREQUENCY MODE TONE FLAGS at line 7, file "
       "img.spg.edit.asc\n"
       "imgedit: your edits are kept in img.spg.edit.asc\n",
       "STATE MUTUAL<  abc"},
      {"sed -i s/155.4750/155.4762/",
       "Warning: frequency 155.4762 is not on the 0.005 MHz step, stored as "
       "155.4750 at line 7, file img.spg.edit.asc\n"
       "imgedit: your edits are kept in img.spg.edit.asc\n",
       "155.4762"},
      // Editors that fail, with and without edits made.
      {"false", "imgedit: the editor \"false\" exited with status 1\n",
       nullptr},
      {"./no-such-editor",
       "imgedit: cannot start the editor "
       "\"./no-such-editor\"\n",
       nullptr},
      {"sh -c 'sed -i s/155.4750/155.4800/ \"$0\"; exit 3'",
       "imgedit: the editor \"sh -c 'sed -i s/155.4750/155.4800/ \"$0\"; exit "
       "3'\" exited with status 3\n"
       "imgedit: your edits are kept in img.spg.edit.asc\n",
       "155.4800"},
  };
  for (const Case &c : cases) {
    Workspace w;
    ProcessResult r = w.run(c.editor);
    EXPECT_EQ(r.status, 1) << c.editor;
    EXPECT_EQ(r.out, "");
    // The editor's own complaint comes first, where it has one.
    size_t own = r.err.find("imgedit: ");
    size_t finding = r.err.find("Error: ") != std::string::npos
                         ? r.err.find("Error: ")
                         : r.err.find("Warning: ");
    std::string ours = r.err.substr(std::min(own, finding));
    EXPECT_EQ(ours, c.err) << c.editor;
    EXPECT_TRUE(read_file(w.dir.file("img.spg")) == sample_image());
    EXPECT_TRUE(w.temporary_folder_empty());
    std::string kept = read_file(w.dir.file("img.spg.edit.asc"));
    if (c.kept)
      EXPECT_NE(kept.find(c.kept), std::string::npos) << c.editor;
    else
      EXPECT_FALSE(file_exists(w.dir.file("img.spg.edit.asc")));
  }
  // Edits kept before are moved aside, not lost.
  Workspace w;
  write_file(w.dir.file("img.spg.edit.asc"), "earlier edits\n");
  EXPECT_EQ(w.run("sed -i s/155.4750/abc/").status, 1);
  EXPECT_EQ(read_file(w.dir.file("img.spg.edit.asc~")), "earlier edits\n");
}

TEST(Imgedit, RefusesWhatItCannotEdit) {
  Workspace w;
  write_file(w.dir.file("listing.spg"), "IMGTXT Version 1.03, Verbose\r\n");
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"img.asc"}, "Image file \"img.asc\" does not end in .spg or .SPG\n"},
      {{"none.spg"}, "Cannot open none.spg: No such file or directory\n"},
      {{"listing.spg"},
       "listing.spg is not an image file: it does not start with 02 00 00 00 "
       "00\n"},
      {{"-b", "10", "img.spg"},
       "imgedit: bank \"10\" is not a number 0 to 9\n"},
  };
  for (const Case &c : cases) {
    ProcessResult r = w.run("sed -i s/155.4750/155.4800/", c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
  }
  EXPECT_TRUE(read_file(w.dir.file("img.spg")) == sample_image());
}

TEST(Imgedit, ASecondImgeditRefusesAndSigtermCleansUp) {
  // Editors that say when they are ready, then wait to be ended.
  struct Case {
    const char *script;
    const char *kept;  ///< what the kept edits hold, or null for none
  };
  const Case cases[] = {
      {"touch ready\nexec sleep 30\n", nullptr},
      {"sed -i s/155.4750/155.4800/ \"$1\"\ntouch ready\nexec sleep 30\n",
       "STATE MUTUAL<  155.4800"},
  };
  for (const Case &c : cases) {
    Workspace w;
    write_file(w.dir.file("editor.sh"), c.script);
    ProcessResult second;
    ProcessOptions options;
    options.started = [&](pid_t first) {
      for (int i = 0; i < 1000 && !file_exists(w.dir.file("ready")); ++i)
        usleep(10000);
      second = w.run("sed -i s/155.4750/155.4800/");
      kill(first, SIGTERM);
    };
    ProcessResult first = w.run("sh editor.sh", {"img.spg"}, options);
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.err,
              "imgedit: img.spg is being edited by another imgedit\n");
    EXPECT_EQ(first.signal, SIGTERM);
    EXPECT_TRUE(w.temporary_folder_empty());
    EXPECT_TRUE(read_file(w.dir.file("img.spg")) == sample_image());
    std::string kept = read_file(w.dir.file("img.spg.edit.asc"));
    if (c.kept)
      EXPECT_NE(kept.find(c.kept), std::string::npos);
    else
      EXPECT_FALSE(file_exists(w.dir.file("img.spg.edit.asc")));
  }
}

namespace {

/// What a run on a terminal showed, and how it ended.
struct TerminalRun {
  std::string shown;
  int status = -1;
};

/// Runs imgedit on a pseudo-terminal in a folder, giving one answer at each
/// question; ten seconds at most.
TerminalRun run_on_terminal(const Workspace &w, const std::string &editor,
                            std::vector<std::string> answers) {
  int master;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    if (chdir(w.dir.path.c_str()) != 0)
      _exit(126);
    setenv("EDITOR", editor.c_str(), 1);
    setenv("VISUAL", "", 1);
    setenv("TMPDIR", w.dir.file("tmp").c_str(), 1);
    std::string program = program_path("imgedit");
    execl(program.c_str(), "imgedit", "img.spg", static_cast<char *>(nullptr));
    _exit(127);
  }
  TerminalRun run;
  size_t asked = 0;
  time_t end = time(nullptr) + 10;
  while (time(nullptr) < end) {
    pollfd fd = {master, POLLIN, 0};
    if (poll(&fd, 1, 100) > 0) {
      char buffer[4096];
      ssize_t got = read(master, buffer, sizeof buffer);
      if (got <= 0)
        break;
      run.shown.append(buffer, static_cast<size_t>(got));
    }
    size_t at = run.shown.find("What now?", asked);
    if (at != std::string::npos &&
        run.shown.find("[e] ", at) != std::string::npos && !answers.empty()) {
      std::string answer = answers.front() + "\n";
      answers.erase(answers.begin());
      if (write(master, answer.data(), answer.size()) < 0)
        break;
      asked = at + 1;
    }
  }
  int status;
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  close(master);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

/// An editor that breaks channel 1's frequency, copies what it is given
/// the second time, and then mends it.
constexpr char two_round_editor[] =
    "sh -c 'if [ -e round ]; then cp \"$0\" seen.asc; "
    "sed -i \"/^#/!s/abc/155.4800/\" \"$0\"; else touch round; "
    "sed -i s/155.4750/abc/ \"$0\"; fi'";

}  // namespace

TEST(Imgedit, OnATerminalFindingsAreAskedAbout) {
  {
    // Edit again: the findings head the file, naming its own lines.
    Workspace w;
    TerminalRun run = run_on_terminal(w, two_round_editor, {"e"});
    EXPECT_EQ(run.status, 0) << run.shown;
    EXPECT_NE(run.shown.find("What now? (e)dit again, (q)uit without writing "
                             "[e] "),
              std::string::npos);
    EXPECT_NE(run.shown.find("imgedit: img.spg written"), std::string::npos);
    EXPECT_TRUE(read_file(w.dir.file("img.spg")) ==
                sample_with(18, "\x12\x60\x21"));
    std::string seen = read_file(w.dir.file("seen.asc"));
    const char head[] =
        "# imgedit: fix what these lines name, then save and quit the "
        "editor;\n# lines that begin with # are not read.\n"
        "# Error: frequency \"abc\" is not a number in MHz; a channel line is "
        "NUMBER [CODE BYTES] >TAG< FREQUENCY MODE TONE FLAGS at line 10\n";
    EXPECT_EQ(seen.substr(0, strlen(head)), head);
    size_t line10 = 0;
    for (int i = 1; i < 10; ++i)
      line10 = seen.find('\n', line10) + 1;
    EXPECT_EQ(seen.substr(line10, 45).find("STATE MUTUAL<  abc"), 25u);
    EXPECT_TRUE(w.temporary_folder_empty());
  }
  for (const char *quit : {"q", "\x04"}) {
    // Quit, or the end of the input: nothing written, the edits kept.
    Workspace w;
    TerminalRun run = run_on_terminal(w, "sed -i s/155.4750/abc/", {quit});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.shown.find("imgedit: your edits are kept in "
                             "img.spg.edit.asc"),
              std::string::npos);
    EXPECT_TRUE(read_file(w.dir.file("img.spg")) == sample_image());
    EXPECT_TRUE(w.temporary_folder_empty());
  }
  {
    // Write anyway, offered for warnings only: a key that means nothing
    // asks again.
    Workspace w;
    TerminalRun run =
        run_on_terminal(w, "sed -i s/155.4750/155.4830/", {"x", "w"});
    EXPECT_EQ(run.status, 0) << run.shown;
    EXPECT_NE(run.shown.find("What now? (e)dit again, (w)rite anyway, (q)uit "
                             "without writing [e] x"),
              std::string::npos);
    // 155.483 MHz is stored on the nearest step, 97 steps above 155 MHz.
    EXPECT_TRUE(read_file(w.dir.file("img.spg")) ==
                sample_with(18, "\x12\x61\x21"));
    EXPECT_NE(run.shown.find("imgedit: img.spg written"), std::string::npos);
  }
}

TEST(Imgedit, TheEditorChosenAndHowItEnds) {
  struct Case {
    std::string editor;
    std::vector<std::string> env;  ///< more of the environment
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      // $VISUAL before $EDITOR, then editor on the path, then vi.
      {"false", {"VISUAL=sed -i s/155.4750/155.4800/"}, {"img.spg"}, 0, ""},
      {"",
       {"PATH=" + std::string(TESTS_DIR)},
       {"img.spg"},
       1,
       "imgedit: cannot start the editor \"vi\"\n"},
      {"", {"PATH=bin:/usr/bin:/bin"}, {"img.spg"}, 0, ""},
      // Editors that end badly.
      {"sh -c 'kill -9 $$'",
       {},
       {"img.spg"},
       1,
       "imgedit: the editor \"sh -c 'kill -9 $$'\" ended by signal 9\n"},
      {"rm", {}, {"img.spg"}, 1, "imgedit: cannot read "},
      {"true",
       {"TMPDIR=/nonexistent/folder"},
       {"img.spg"},
       1,
       "imgedit: cannot make a private folder in /nonexistent/folder: No "
       "such file or directory\n"},
      // Command lines that give the usage text.
      {"true", {}, {}, 1, "imgedit [-h] [-b bank] image.spg\n"},
      {"true", {}, {"-h"}, 1, "imgedit [-h] [-b bank] image.spg\n"},
      {"true",
       {},
       {"-b", "x", "img.spg"},
       1,
       "imgedit: bank \"x\" is not a number 0 to 9\n"},
      {"true",
       {},
       {"-b", "", "img.spg"},
       1,
       "imgedit: bank \"\" is not a number 0 to 9\n"},
      // An image named .spg alone has a listing named image.asc.
      {"sh -c 'case $0 in */image.asc) exec sed -i s/155.4750/155.4800/ "
       "$0;; esac; exit 1'",
       {},
       {".spg"},
       0,
       ""},
      {"true",
       {},
       {"img.spg", "other.spg"},
       1,
       "imgedit [-h] [-b bank] image.spg\n"},
  };
  for (const Case &c : cases) {
    Workspace w;
    // An editor named editor, on a path of its own.
    mkdir(w.dir.file("bin").c_str(), 0700);
    write_file(w.dir.file("bin/editor"),
               "#!/bin/sh\nsed -i s/155.4750/155.4800/ \"$1\"\n");
    chmod(w.dir.file("bin/editor").c_str(), 0700);
    write_file(w.dir.file(".spg"), sample_image());
    ProcessOptions options;
    options.env = c.env;
    ProcessResult r = w.run(c.editor, c.args, options);
    EXPECT_EQ(r.status, c.status) << c.editor << r.err;
    if (c.err.empty())
      EXPECT_EQ(r.err, "");
    else
      EXPECT_NE(r.err.find(c.err), std::string::npos) << c.editor << r.err;
    EXPECT_TRUE(w.temporary_folder_empty());
    std::string edited =
        c.args == std::vector<std::string>{".spg"} ? ".spg" : "img.spg";
    std::string image = read_file(w.dir.file(edited));
    EXPECT_TRUE(image == (c.status == 0 ? sample_with(18, "\x12\x60\x21")
                                        : sample_image()));
  }
}

namespace {

/// What a run of imgedit in this process printed, and its status.
struct Edited {
  int status;
  std::string out, err;
};

/// Runs imgedit in this process on a workspace's image, with an editor.
Edited edit_in_process(Workspace &w, const char *editor) {
  setenv("EDITOR", editor, 1);
  setenv("VISUAL", "", 1);
  setenv("TMPDIR", w.dir.file("tmp").c_str(), 1);
  std::string image = w.dir.file("img.spg");
  char *argv[] = {const_cast<char *>("imgedit"), image.data(), nullptr};
  char *out_data = nullptr, *err_data = nullptr;
  size_t out_size = 0, err_size = 0;
  FILE *out = open_memstream(&out_data, &out_size);
  FILE *err = open_memstream(&err_data, &err_size);
  Edited e;
  e.status = run_imgedit(2, argv, out, err);
  fclose(out);
  fclose(err);
  e.out.assign(out_data, out_size);
  e.err.assign(err_data, err_size);
  free(out_data);
  free(err_data);
  unsetenv("EDITOR");
  unsetenv("VISUAL");
  unsetenv("TMPDIR");
  return e;
}

}  // namespace

TEST(ImgeditFailures, EachFailedCallKeepsTheImageAndTheEdits) {
  // The calls in order: the image read (reads 1 and 2), the private listing
  // written (open 1, close 1) and read back (open 2, read 3), then the
  // image or the kept edits (open 3 on).
  const char *good = "sed -i s/155.4750/155.4800/";
  const char *broken = "sed -i s/155.4750/abc/";
  struct Case {
    const char *editor;
    const char *call;
    int error, after;
    const char *err;  ///< a line of what is said; @ is the workspace
    bool kept;        ///< the edits are kept beside the image
  };
  const Case cases[] = {
      {good, "open", EACCES, 0, "imgedit: cannot write @/tmp/imgedit.", false},
      {good, "close", EIO, 0, ": Input/output error\n", false},
      {good, "read", EIO, 2, "imgedit: cannot read @/tmp/imgedit.", false},
      {good, "open", EACCES, 2, "Cannot open @/img.spg: Permission denied\n",
       true},
      {good, "rename", EIO, 0, "Cannot write @/img.spg: Input/output error\n",
       true},
      {broken, "open", EACCES, 2,
       "imgedit: cannot keep your edits in @/img.spg.edit.asc: Permission "
       "denied; they stay in @/tmp/imgedit.",
       false},
  };
  if (isatty(STDIN_FILENO))
    GTEST_SKIP() << "standard input is a terminal";
  for (const Case &c : cases) {
    Workspace w;
    Edited e;
    {
      Injection injection(c.call, c.error, c.after, 1);
      e = edit_in_process(w, c.editor);
    }
    std::string err = c.err;
    for (size_t at; (at = err.find('@')) != std::string::npos;)
      err.replace(at, 1, w.dir.path);
    EXPECT_EQ(e.status, 1) << c.call;
    EXPECT_NE(e.err.find(err), std::string::npos) << c.call << "\n" << e.err;
    EXPECT_TRUE(read_file(w.dir.file("img.spg")) == sample_image());
    EXPECT_EQ(file_exists(w.dir.file("img.spg.edit.asc")), c.kept) << c.call;
  }
}
