// Entry point of txtimg.
#include <stdio.h>

#include "common/files.h"
#include "txtimg/txtimg.h"

int main(int argc, char **argv) {
  open_standard_descriptors();
  return run_txtimg(argc, argv, stderr);
}
