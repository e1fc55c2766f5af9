#include <iostream>

#include "output_files.h"
#include "refine_command.h"

int main(int argc, char** argv) {
  vemra::tool::OutputFiles::remove_temporaries_on_signals();
  try {
    return vemra::tool::run_refine({argv + 1, argv + argc}, std::cout, std::cerr);
  } catch (const std::exception& error) {
    std::cerr << "vemra-refine: internal error: " << error.what() << "\n";
    return 1;
  }
}
