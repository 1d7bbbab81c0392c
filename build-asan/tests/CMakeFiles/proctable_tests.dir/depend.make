# Empty dependencies file for proctable_tests.
# This may be replaced when dependencies are built.
