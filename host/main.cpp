// jobwick: a headless print dialog for Jobwick plug-in bundles.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "host/commands.h"

int main(int argc, char** argv) {
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    int status = jobwick::host::runJobwick(args, std::cout, std::cerr);
    std::cout.flush();
    return status;
  } catch (const std::exception& e) {
    std::cerr << "jobwick: internal error: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "jobwick: internal error\n";
  }
  return jobwick::host::kExitFailure;
}
