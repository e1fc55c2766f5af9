# Finds the Python that the module is built for (Debian's /usr/bin/python3 before any other
# on the PATH) and pybind11, then adds python/ when VEMRA_BUILD_PYTHON asks for it: ON
# requires them, AUTO builds the module when they are found and the build is not
# sanitized.
if(VEMRA_BUILD_PYTHON STREQUAL "OFF" OR (VEMRA_BUILD_PYTHON STREQUAL "AUTO" AND
                                         (VEMRA_SANITIZE OR VEMRA_FUZZ)))
  return()
endif()
if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3)
endif()
set(required)
if(VEMRA_BUILD_PYTHON STREQUAL "ON")
  set(required REQUIRED)
endif()
find_package(Python3 COMPONENTS Interpreter Development.Module NumPy ${required})
set(PYBIND11_FINDPYTHON ON)
find_package(pybind11 CONFIG ${required})
if(Python3_FOUND AND pybind11_FOUND)
  message(STATUS "vemra: building the Python module for ${Python3_EXECUTABLE}")
  add_subdirectory(python)
else()
  message(STATUS "vemra: no Python module (python3, NumPy or pybind11 missing)")
endif()
