// The engine as a child of a run with a time limit creates it: inside its own process only, so
// that nothing of it lives outside the job that ends the child.
#pragma once

#include <memory>

#include "components/DatabaseEngine.h"

namespace Components::Win {

std::unique_ptr<DatabaseEngine> CreateInProcessEngine();

}  // namespace Components::Win
