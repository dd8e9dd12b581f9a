// The whole-program runner of the application's tests, built into this suite as well: one definition of how
// the host starts the program (private HOME and XDG folders, the environment it is given).
#include "../app/ProgramRunner.cpp"
