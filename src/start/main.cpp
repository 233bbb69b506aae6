// The executable's entry point.
#include "start/StartModule.h"

int main(int argc, char** argv) { return StartModule::Run(argc, argv); }
