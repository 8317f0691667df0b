# One library per subsystem folder: its *.cpp files form the widget-free logic library
# ambry_<name> (Qt Core plus what DEPS add); the window files under <folder>/gui form
# ambry_<name>_gui. Sources are globbed so adding a file needs no build edit.
function(ambry_add_library target dir)
  cmake_parse_arguments(ARG "" "" "DEPS;PATTERNS" ${ARGN})
  set(globs)
  foreach(p IN LISTS ARG_PATTERNS)
    list(APPEND globs ${dir}/${p})
  endforeach()
  file(GLOB src CONFIGURE_DEPENDS ${globs})
  list(FILTER src INCLUDE REGEX "\\.(cpp|qrc)$")
  if(src)
    add_library(${target} STATIC ${src})
    # Others name a header by its folder ("catalog/Archive.h"); only the folder's own files may
    # leave the folder out.
    target_include_directories(${target} PRIVATE ${dir} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# SUBFOLDERS name folders below the subsystem's whose *.cpp files join its logic library.
function(ambry_subsystem name)
  cmake_parse_arguments(ARG "NO_GUI" "" "DEPS;GUI_DEPS;SUBFOLDERS" ${ARGN})
  set(patterns *.cpp)
  foreach(sub IN LISTS ARG_SUBFOLDERS)
    list(APPEND patterns ${sub}/*.cpp)
  endforeach()
  ambry_add_library(ambry_${name} ${CMAKE_CURRENT_SOURCE_DIR} PATTERNS ${patterns} DEPS Qt6::Core ${ARG_DEPS})
  if(NOT ARG_NO_GUI)
    ambry_add_library(ambry_${name}_gui ${CMAKE_CURRENT_SOURCE_DIR}/gui PATTERNS *.cpp *.qrc
                      DEPS ambry_${name} Qt6::Widgets ${ARG_GUI_DEPS})
  endif()
endfunction()
