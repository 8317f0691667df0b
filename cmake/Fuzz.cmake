# libFuzzer targets: every tests/<subsystem>/fuzz_<name>.cpp becomes the executable
# fuzz_<name>, linked with that subsystem's logic library. Adding a target is adding the file
# (and, to give it a start, seeds in tests/<subsystem>/corpus/<name>/); scripts/fuzz.sh runs
# every target it finds. Needs clang: configure a separate tree with -DAMBRY_FUZZ=ON.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "AMBRY_FUZZ needs clang++ (-DCMAKE_CXX_COMPILER=clang++)")
endif()
file(GLOB fuzz_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/*/fuzz_*.cpp)
foreach(src IN LISTS fuzz_sources)
  get_filename_component(base ${src} NAME_WE)
  get_filename_component(dir ${src} DIRECTORY)
  get_filename_component(sub ${dir} NAME)
  add_executable(${base} ${src})
  target_include_directories(${base} PRIVATE ${PROJECT_SOURCE_DIR}/${sub})
  target_link_libraries(${base} PRIVATE ambry_${sub})
  target_link_options(${base} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${base} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzz)
endforeach()
