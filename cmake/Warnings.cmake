# Warnings for every target of the project; CI adds -Werror through WRITER_WERROR.
add_library(writer_warnings INTERFACE)
target_compile_options(writer_warnings INTERFACE
  $<$<COMPILE_LANGUAGE:CXX,C>:-Wall -Wextra -Wpedantic -Wshadow -Wno-unused-parameter>
  $<$<BOOL:${WRITER_WERROR}>:-Werror>)
