add_compile_options(-Wall -Wextra)

# With VIREO_WERROR=ON (scripts/test.sh, CI) warnings stop the build of the
# project's own code. It is off by default: a packager's compiler or flags
# (another GCC, dpkg-buildflags' hardening) may warn where ours does not, and
# must still get a program. Third-party headers (Qt, GoogleTest, Google
# Benchmark) come in as system headers and do not warn.
option(VIREO_WERROR "Treat compiler warnings as errors" OFF)
if(VIREO_WERROR)
  add_compile_options(-Werror)
endif()
