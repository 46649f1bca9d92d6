add_compile_options(-Wall -Wextra)

# Warnings stop the build of the project's own code. Third-party headers
# (Qt, GoogleTest, Google Benchmark) come in as system headers and do not warn.
option(VIREO_WERROR "Treat compiler warnings as errors" ON)
if(VIREO_WERROR)
  add_compile_options(-Werror)
endif()
