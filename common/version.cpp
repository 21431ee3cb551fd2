// The suite's version and the long options every program takes.
#include "common/version.h"

#include <errno.h>
#include <string.h>

const char suite_version[] = SUITE_VERSION;

const struct option standard_long_options[] = {
    {"help", no_argument, nullptr, help_option},
    {"version", no_argument, nullptr, version_option},
    {nullptr, 0, nullptr, 0},
};

void print_version(FILE *out, const char *program) {
  fprintf(out, "%s (scanner memory tools) %s\n", program, suite_version);
}

const char *program_purpose(const char *program) {
  static const char *const purposes[][2] = {
      {"imgtxt",
       "imgtxt turns a scanner memory image (.spg) into a text "
       "listing to edit."},
      {"txtimg",
       "txtimg turns an edited text listing back into a scanner "
       "memory image (.spg)."},
      {"imgedit",
       "imgedit edits a scanner memory image as a listing in your "
       "text editor."},
      {"imgsend",
       "imgsend uploads a scanner memory image to the scanner over "
       "a serial line."},
      {"imgdiff",
       "imgdiff shows what an upload will change: the differences "
       "of two images."},
      {"imgcsv",
       "imgcsv writes the channels or talkgroups of a scanner "
       "memory image as a CSV list."},
      {"csvimg",
       "csvimg stores a CSV channel or talkgroup list into a "
       "scanner memory image."},
      {"imgcard",
       "imgcard prints what a scanner memory image holds as a "
       "card to carry."},
  };
  for (const auto &purpose : purposes)
    if (strcmp(purpose[0], program) == 0)
      return purpose[1];
  return "";
}

void print_standard_options(FILE *out, const char *line_end) {
  fprintf(out, "  --help prints what the program is for and this text%s",
          line_end);
  fprintf(out, "  --version prints the version%s", line_end);
}

void print_try_help(FILE *err, const char *program) {
  fprintf(err, "Try '%s --help' for more information.\n", program);
}

int answer_standard_option(int option, const char *program,
                           void (*print_usage)(FILE *out)) {
  if (option == help_option) {
    printf("%s\n", program_purpose(program));
    print_usage(stdout);
  } else if (option == version_option)
    print_version(stdout, program);
  else
    return -1;
  return finish_standard_output(stderr);
}

int finish_standard_output(FILE *err) {
  if (fflush(stdout) == 0 && !ferror(stdout))
    return 0;
  fprintf(err, "Cannot write standard output: %s\n", strerror(errno));
  clearerr(stdout);
  return 1;
}
