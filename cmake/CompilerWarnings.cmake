# One INTERFACE target carries the project's warning flags; every target links it.
add_library(talvorne_warnings INTERFACE)
add_library(talvorne::warnings ALIAS talvorne_warnings)
target_compile_options(talvorne_warnings INTERFACE
  -Wall
  -Wextra
  # Our formatting wrappers forward caller-supplied formats on purpose.
  -Wno-format-nonliteral
)
