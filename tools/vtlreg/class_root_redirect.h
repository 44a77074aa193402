#pragma once
// HKEY_CLASSES_ROOT of this process redirected to another key for one scope: whatever the
// process writes to the classes root meanwhile lands there. The redirect is undone when the
// scope ends, on every path.

#include <windows.h>

class ClassRootRedirect {
public:
    explicit ClassRootRedirect(HKEY target) : status_(RegOverridePredefKey(HKEY_CLASSES_ROOT, target)) {}
    ~ClassRootRedirect()
    {
        if (status_ == ERROR_SUCCESS) {
            RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        }
    }
    ClassRootRedirect(const ClassRootRedirect&) = delete;
    ClassRootRedirect& operator=(const ClassRootRedirect&) = delete;

    LONG Status() const { return status_; }

private:
    LONG status_;
};
