# Empty dependencies file for supervise_tests.
# This may be replaced when dependencies are built.
