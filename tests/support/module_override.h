#pragma once
// Points theModule at a record of the test's own for one scope.

#include "runtime/module_state.h"

class ModuleOverride {
public:
    explicit ModuleOverride(ModuleState& record) : saved_(theModule) { theModule = &record; }
    ~ModuleOverride() { theModule = saved_; }
    ModuleOverride(const ModuleOverride&) = delete;
    ModuleOverride& operator=(const ModuleOverride&) = delete;

private:
    ModuleState* saved_;
};
