// One instance of each component for the whole process, created on first use by the
// platform's factory and kept until the process ends; tests hand in doubles with Install.
#pragma once

#include <memory>

namespace Components {

// Each component header declares `std::unique_ptr<C> CreatePlatformInstance(Tag<C>)`;
// posix/ and windows/ define it for their platform.
template <class Component>
struct Tag {};

template <class Component>
class Instance {
  public:
    static Component& Get() {
        auto& slot = Slot();
        if (!slot) slot = CreatePlatformInstance(Tag<Component>{});
        return *slot;
    }
    // Replaces the process's instance; nullptr lets the next use create the platform's.
    static void Install(std::unique_ptr<Component> replacement) { Slot() = std::move(replacement); }

  private:
    static std::unique_ptr<Component>& Slot() {
        static std::unique_ptr<Component> slot;
        return slot;
    }
};

template <class Component>
Component& The() {
    return Instance<Component>::Get();
}

}  // namespace Components
