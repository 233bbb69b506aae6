#include "components/UserInterface.h"

#include "components/Application.h"

namespace Ui {

std::int32_t MsgBox(const std::string& prompt, std::int32_t flags,
                    const std::optional<std::string>& title) {
    using namespace Components;
    return The<MessageBox>().Show(prompt, flags, title ? *title : The<Application>().Title());
}

}  // namespace Ui
