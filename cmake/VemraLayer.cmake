# Warnings and sanitizers are applied to our own targets only, never through the global
# flags, so dependencies and consumers are not affected.
set(VEMRA_WARNING_FLAGS
    -Wall -Wextra -Wpedantic -Wshadow -Wcast-qual -Wmissing-declarations -Wundef -Wvla)

function(vemra_target_options target)
  target_compile_options(${target} PRIVATE ${VEMRA_WARNING_FLAGS} -ffp-contract=off)
  if(VEMRA_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(VEMRA_FUZZ)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
  if(VEMRA_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=${VEMRA_SANITIZE} -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=${VEMRA_SANITIZE})
    if(VEMRA_SANITIZE MATCHES "undefined")
      target_compile_options(${target} PRIVATE -fno-sanitize-recover=undefined)
    endif()
    if(VEMRA_SANITIZE MATCHES "address")
      target_compile_definitions(${target} PRIVATE _GLIBCXX_ASSERTIONS)
    endif()
  endif()
endfunction()

# add_layer_library(<target> <alias> <export name> SOURCES ... INCLUDE_DIR <dir> DEPENDS ...)
function(add_layer_library target alias export_name)
  cmake_parse_arguments(LAYER "" "INCLUDE_DIR" "SOURCES;DEPENDS" ${ARGN})
  add_library(${target} ${LAYER_SOURCES})
  add_library(${alias} ALIAS ${target})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${export_name})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${LAYER_INCLUDE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_link_libraries(${target} PUBLIC ${LAYER_DEPENDS})
  target_compile_features(${target} PUBLIC cxx_std_17)
  vemra_target_options(${target})
  set_property(GLOBAL APPEND PROPERTY VEMRA_INSTALLED_TARGETS ${target})
endfunction()
