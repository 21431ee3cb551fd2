// Entry point of imgsend.
#include <stdio.h>

#include "common/files.h"
#include "imgsend/imgsend.h"

int main(int argc, char **argv) {
  open_standard_descriptors();
  return run_imgsend(argc, argv, stderr);
}
