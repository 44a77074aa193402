#include <gtest/gtest.h>

#include "server/module_lifecycle.h"

namespace {

// Brings up a module record for the test program, as the DLL's entry point does for the DLL,
// so that the library's functions can be called directly.
class ModuleEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, InitModule(&record_, vtlMenuClassTable, GetModuleHandleW(nullptr)));
    }
    void TearDown() override { EXPECT_EQ(S_OK, TermModule(&record_)); }

private:
    ModuleState record_ = {};
};

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new ModuleEnvironment);
    return RUN_ALL_TESTS();
}
