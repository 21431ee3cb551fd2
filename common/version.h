// What every program answers to --version and --help.
#pragma once

#include <getopt.h>
#include <stdio.h>

/// The suite's version, set once in the build.
extern const char suite_version[];

/// The values getopt_long gives for --help and --version.
constexpr int help_option = 0x100;
constexpr int version_option = 0x101;

/// The long options every program takes: --help and --version.
extern const struct option standard_long_options[];

/// Prints the version line: "NAME (scanner memory tools) VERSION".
void print_version(FILE *out, const char *program);

/// The line --help begins with: what the program is for.
const char *program_purpose(const char *program);

/// The usage lines of --help and --version, each ended by line_end; they
/// follow every usage text.
void print_standard_options(FILE *out, const char *line_end);

/// Ends the usage text of a usage error: "Try 'PROG --help' for more
/// information."
void print_try_help(FILE *err, const char *program);

/// Answers --help (what the program is for, then the usage text) or
/// --version on standard output: the
/// exit status, 0 once the text is out and 1 when it could not be written
/// (a closed pipe, say); -1 when the option is neither.
int answer_standard_option(int option, const char *program,
                           void (*print_usage)(FILE *out));

/// Ends a text written on standard output: 0 when all of it went out, 1
/// after saying why not on err.
int finish_standard_output(FILE *err);
