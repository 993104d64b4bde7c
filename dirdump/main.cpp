#include "dirdump.h"

int main(int argc, char* argv[]) { return RunDirdump(argc, argv); }
