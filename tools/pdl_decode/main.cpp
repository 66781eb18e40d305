#include <iostream>

#include "pdl_decode.h"

int main(int argc, char** argv) { return morva::tools::PdlDecodeMain(argc, argv, std::cout, std::cerr); }
