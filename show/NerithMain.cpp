// The executable's entry point; the show itself lives in the NerithShow
// library (Main.cpp), where tests reach it too.
#include "Options.h"

int main(int argc, char** argv) { return NerithMain(argc, argv); }
