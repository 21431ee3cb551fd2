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

/// Answers --help (the usage text) or --version on standard output; true
/// when the option was one of them and the program is to exit with 0.
bool answer_standard_option(int option, const char *program,
                            void (*print_usage)(FILE *out));
