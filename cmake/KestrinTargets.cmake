# Build strictness in one place: every target of the project links this.
add_library(kestrin_warnings INTERFACE)
target_compile_options(kestrin_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Woverloaded-virtual -Wold-style-cast
  $<$<BOOL:${KESTRIN_WERROR}>:-Werror>)
target_compile_definitions(kestrin_warnings INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY QT_NO_URL_CAST_FROM_STRING
  QT_USE_QSTRINGBUILDER QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
if(KESTRIN_SANITIZE)
  target_compile_options(kestrin_warnings INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                    -fno-sanitize-recover=undefined)
  target_link_options(kestrin_warnings INTERFACE -fsanitize=address,undefined)
endif()

# kestrin_library(name LAYER layer [WIDGETS] DIRS dir... [GLOBS dir...] QT comp... DEPS target...)
# DIRS take the .cpp files directly inside each folder; GLOBS take those of a folder that
# may not exist yet. Sources are globbed so that new files join their layer by folder.
function(kestrin_library name)
  cmake_parse_arguments(K "WIDGETS" "LAYER" "DIRS;GLOBS;QT;DEPS" ${ARGN})
  set(sources)
  foreach(dir IN LISTS K_DIRS K_GLOBS)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_SOURCE_DIR}/${dir}/*.h)
    list(APPEND sources ${found})
  endforeach()
  list(FILTER sources EXCLUDE REGEX "/main/main\\.cpp$")
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  set(qtlibs)
  foreach(c IN LISTS K_QT)
    list(APPEND qtlibs Qt6::${c})
  endforeach()
  target_link_libraries(${name} PUBLIC ${qtlibs} ${K_DEPS} PRIVATE kestrin_warnings)
  set_target_properties(${name} PROPERTIES KESTRIN_LAYER ${K_LAYER})
endfunction()

# Fails the configuration when a lower layer links QtWidgets, directly or through a dependency.
function(kestrin_check_no_widgets)
  foreach(t IN LISTS ARGN)
    set(pending ${t})
    set(seen)
    while(pending)
      list(POP_FRONT pending cur)
      if(cur IN_LIST seen)
        continue()
      endif()
      list(APPEND seen ${cur})
      if(cur STREQUAL "Qt6::Widgets")
        message(FATAL_ERROR "${t} links QtWidgets; engine, model and controller must not")
      endif()
      if(TARGET ${cur} AND NOT cur MATCHES "^Qt6::")
        get_target_property(deps ${cur} LINK_LIBRARIES)
        if(deps)
          list(APPEND pending ${deps})
        endif()
      endif()
    endwhile()
  endforeach()
endfunction()
