// Facts about the running program.
#pragma once

#include <memory>

#include "components/Instance.h"

#include <string>

namespace Components {

class Application {
  public:
    virtual ~Application() = default;

    // The product name every untitled message box carries.
    virtual std::string Title() = 0;

    // The running executable's file name without folder and extension; raises Err::Error
    // when it cannot be learnt.
    virtual std::string ExeBaseName() = 0;
};

std::unique_ptr<Application> CreatePlatformInstance(Tag<Application>);

}  // namespace Components
