// The image editor: the listing of an image opened in the user's editor,
// read back loosely when the editor ends, and written into the image only
// once it reads without a finding, or the user says so.
#pragma once

#include <stdio.h>

/// Runs the whole program: the change and "imgedit: NAME written" on out,
/// findings, prompts and trouble on err, answers read from standard
/// input; the exit status.
int run_imgedit(int argc, char **argv, FILE *out, FILE *err);
