// GoogleTest's main inside an initialised framework, with the application
// object that launching a program needs.
#include <gtest/gtest.h>
#include <wx/init.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const wxInitializer framework(argc, argv);
    if (!framework.IsOk())
        return 1;
    return RUN_ALL_TESTS();
}
