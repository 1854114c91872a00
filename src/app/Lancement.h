#pragma once

#include <functional>

class Programme;

// The whole run of the program from its arguments to its exit status: --help and --version,
// the process set up, the program put together and run until it ends. `avantDemarrage`, when
// given, sees the program once it is put together and before it starts.
int lanceVelorin(int argc, char* argv[],
                 const std::function<void(Programme&)>& avantDemarrage = {});
