#include <iostream>

#include "refine_command.h"

int main(int argc, char** argv) {
  try {
    return vemra::tool::run_refine({argv + 1, argv + argc}, std::cout, std::cerr);
  } catch (const std::exception& error) {
    std::cerr << "vemra-refine: internal error: " << error.what() << "\n";
    return 1;
  }
}
