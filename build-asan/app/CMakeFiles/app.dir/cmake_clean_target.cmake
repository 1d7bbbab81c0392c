file(REMOVE_RECURSE
  "libapp.a"
)
