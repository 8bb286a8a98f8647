# writer_add_gtest(NAME SOURCES... LIBS ...): a GoogleTest executable registered with ctest.
include(GoogleTest)
find_package(GTest REQUIRED)

# Time limits. The test presets give every test a default (a minute; two under the sanitizers);
# a test that usually runs longer than a few seconds names about ten times its usual time with
# TIMEOUT, scaled here for the sanitizer build, which runs about three times slower.
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  set(WRITER_TEST_TIME_SCALE 3)
else()
  set(WRITER_TEST_TIME_SCALE 1)
endif()

# writer_test_time_limit(OUT SECONDS): SECONDS scaled for this build.
function(writer_test_time_limit out seconds)
  math(EXPR scaled "${seconds} * ${WRITER_TEST_TIME_SCALE}")
  set(${out} ${scaled} PARENT_SCOPE)
endfunction()

# writer_add_gtest(NAME SOURCES... LIBS ... [LABELS ...] [TIMEOUT seconds]): a GoogleTest
# executable registered with ctest, one entry per test. Every test program runs in a fresh home.
function(writer_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main ${ARG_LIBS} test_home
                                        writer_warnings)
  set(limit)
  if(ARG_TIMEOUT)
    writer_test_time_limit(seconds ${ARG_TIMEOUT})
    set(limit TIMEOUT ${seconds})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "${ARG_LABELS}" ${limit})
endfunction()

# writer_add_qtest(NAME SOURCES... LIBS ... [LABELS ...] [TIMEOUT seconds]): a QtTest
# executable run offscreen, with the modal-dialog answerer (tests/support) at hand.
function(writer_add_qtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE Qt6::Test Qt6::Widgets ${ARG_LIBS} test_widgets
                                        test_home writer_warnings)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                                          LABELS "${ARG_LABELS}")
  if(ARG_TIMEOUT)
    writer_test_time_limit(seconds ${ARG_TIMEOUT})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${seconds})
  endif()
endfunction()

# writer_add_fuzzer(NAME SOURCES... LIBS ... [CORPUS dir]): a target that defines
# LLVMFuzzerTestOneInput. With clang and WRITER_FUZZ it is a real libFuzzer binary and
# ctest label "fuzz" runs it for a bounded time; otherwise a small driver replays the
# seed corpus, so every build at least runs the seeds through the code.
function(writer_add_fuzzer name)
  cmake_parse_arguments(ARG "" "CORPUS;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 30)
  endif()
  if(WRITER_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    if(ARG_CORPUS)
      # New inputs go to a corpus in the build tree; the seeds in the source tree stay as they are.
      set(work_corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
      file(MAKE_DIRECTORY ${work_corpus})
      add_test(NAME ${name}_fuzz
               COMMAND ${name} -max_total_time=${ARG_SECONDS} -rss_limit_mb=2048 ${work_corpus}
                       ${ARG_CORPUS})
      math(EXPR limit "${ARG_SECONDS} * 4")
      set_tests_properties(${name}_fuzz PROPERTIES LABELS "fuzz" TIMEOUT ${limit})
    endif()
  else()
    add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    if(ARG_CORPUS)
      add_test(NAME ${name}_replay COMMAND ${name} ${ARG_CORPUS})
      set_tests_properties(${name}_replay PROPERTIES LABELS "fuzz")
    endif()
  endif()
endfunction()

# writer_add_module_folders(): adds every subfolder of the current folder that has a
# CMakeLists.txt (tests/, bench/ and fuzz/ keep one folder per module).
function(writer_add_module_folders)
  file(GLOB dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir ${dirs})
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# writer_compile_resources(OUT_CPP DATA_DIR COMMENT): compiles a folder of resource sources
# (strings/, parts/, images/, texts/) into a C++ source with rescompile, rebuilt when a source
# changes.
function(writer_compile_resources out_cpp data_dir comment)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${data_dir}/strings/*.txt ${data_dir}/parts/*.txt
       ${data_dir}/images/* ${data_dir}/texts/*.txt)
  add_custom_command(
    OUTPUT ${out_cpp}
    COMMAND rescompile ${data_dir} ${out_cpp}
    DEPENDS rescompile ${sources}
    COMMENT "${comment}")
endfunction()

# writer_forbid_link(TARGET FORBIDDEN...): stops the configuration when TARGET links one of the
# FORBIDDEN targets, directly or through any library it links.
function(writer_forbid_link target)
  set(seen)
  set(queue ${target})
  while(queue)
    list(POP_FRONT queue current)
    # $<LINK_ONLY:x> and similar wrappers name a library too.
    string(REGEX REPLACE "^\\$<[A-Z_]+:(.*)>$" "\\1" current "${current}")
    if(current IN_LIST seen OR current MATCHES "^\\$<")
      continue()
    endif()
    list(APPEND seen ${current})
    if(current IN_LIST ARGN)
      message(FATAL_ERROR "${target} links ${current}, which it must never do (its links: ${seen})")
    endif()
    if(TARGET ${current})
      foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
        get_target_property(libraries ${current} ${property})
        if(libraries)
          list(APPEND queue ${libraries})
        endif()
      endforeach()
    endif()
  endwhile()
endfunction()
