file(REMOVE_RECURSE
  "libproctable.a"
)
