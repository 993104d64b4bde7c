#include "mublock.h"

int main(int argc, char* argv[]) { return RunMublock(argc, argv); }
