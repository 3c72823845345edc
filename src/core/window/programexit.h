#pragma once

#include <functional>

namespace qv {

// Saves the settings and the statement ring, then ends the program.
void endProgram();
// What "ends the program" means: by default the event loop is told to quit. Tests replace it.
void setProgramEndHandler(std::function<void()> handler);

}  // namespace qv
