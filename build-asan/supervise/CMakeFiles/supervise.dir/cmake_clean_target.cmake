file(REMOVE_RECURSE
  "libsupervise.a"
)
