# Empty dependencies file for wdog.
# This may be replaced when dependencies are built.
