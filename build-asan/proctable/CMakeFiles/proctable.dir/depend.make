# Empty dependencies file for proctable.
# This may be replaced when dependencies are built.
