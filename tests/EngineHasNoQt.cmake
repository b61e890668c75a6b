# Fails when any engine source includes a Qt header or names a Qt type.
file(GLOB_RECURSE files
  ${ROOT}/src/engine/*.h ${ROOT}/src/engine/*.cpp
  ${ROOT}/src/audio/*.h ${ROOT}/src/audio/*.cpp
  ${ROOT}/src/app/core/*.h ${ROOT}/src/app/core/*.cpp
  ${ROOT}/src/cli/*.h ${ROOT}/src/cli/*.cpp)
set(bad "")
foreach(f ${files})
  file(STRINGS ${f} hits REGEX "#[ \t]*include[ \t]*[<\"](Q[A-Za-z]|qt)")
  if(hits)
    list(APPEND bad "${f}: ${hits}")
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "Qt reached the engine:\n${bad}")
endif()
message(STATUS "engine sources are free of Qt (${CMAKE_ARGC} checked)")
