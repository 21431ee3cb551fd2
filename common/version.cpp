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

int answer_standard_option(int option, const char *program,
                           void (*print_usage)(FILE *out)) {
  if (option == help_option)
    print_usage(stdout);
  else if (option == version_option)
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
