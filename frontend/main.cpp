// Process entry of the console program.
#include "frontend/Console.h"

int main() { return vx::RunProgram(); }
