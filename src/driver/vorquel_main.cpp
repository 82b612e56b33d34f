#include <string>
#include <vector>

#include "driver/main.hpp"

int main(int argc, char** argv) { return vorquel::run(std::vector<std::string>(argv, argv + argc)); }
