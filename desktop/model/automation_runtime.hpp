// The EngineRuntime of the running program: the automation runtime library, which finds the
// engine's class in the registry and loads its library. Apply Text reaches the engine only here.
#pragma once

#include "desktop/model/engine_client.hpp"

namespace folvane {

class AutomationRuntime : public EngineRuntime {
  public:
    HResult initialize() override;
    void uninitialize() override;
    HResult createEngine(std::unique_ptr<EngineInstance>& engine) override;
    std::string errorMessage(HResult hr) override;
};

} // namespace folvane
