# Empty dependencies file for app.
# This may be replaced when dependencies are built.
