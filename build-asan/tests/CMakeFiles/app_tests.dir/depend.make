# Empty dependencies file for app_tests.
# This may be replaced when dependencies are built.
