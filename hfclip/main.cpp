#include "hfclip.h"

int main(int argc, char* argv[]) { return RunHfclip(argc, argv); }
