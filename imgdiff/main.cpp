// Entry point of imgdiff.
#include <stdio.h>

#include "common/files.h"
#include "imgdiff/imgdiff.h"

int main(int argc, char **argv) {
  open_standard_descriptors();
  return run_imgdiff(argc, argv, stdout, stderr);
}
