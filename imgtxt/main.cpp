// Entry point of imgtxt.
#include <stdio.h>

#include "common/files.h"
#include "imgtxt/imgtxt.h"

int main(int argc, char **argv) {
  open_standard_descriptors();
  return run_imgtxt(argc, argv, stderr);
}
