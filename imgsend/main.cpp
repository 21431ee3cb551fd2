// Entry point of imgsend.
#include <stdio.h>

#include "imgsend/imgsend.h"

int main(int argc, char **argv) {
  return run_imgsend(argc, argv, stderr);
}
