file(REMOVE_RECURSE
  "libtest_support.a"
)
