#pragma once
// Start-up and tear-down of the module record.

#include "runtime/module_state.h"
#include "server/class_object_entry.h"

// Fills the record, points theModule at it, runs the class hooks and creates the heaps.
HRESULT InitModule(ModuleState* module, ClassObjectEntry* classTable, HINSTANCE instance);

// S_OK while the module lock count is 0, S_FALSE otherwise; takes no lock.
HRESULT ModuleCanUnloadNow(const ModuleState* module);

// Releases cached class factories, deletes the locks, runs the exit callbacks newest first
// and destroys the heaps, in that order.
HRESULT TermModule(ModuleState* module);
