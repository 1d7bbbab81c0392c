# Empty dependencies file for supervise.
# This may be replaced when dependencies are built.
