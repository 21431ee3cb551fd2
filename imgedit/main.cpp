// Entry point of imgedit.
#include <stdio.h>

#include "common/files.h"
#include "imgedit/imgedit.h"

int main(int argc, char **argv) {
  open_standard_descriptors();
  return run_imgedit(argc, argv, stdout, stderr);
}
