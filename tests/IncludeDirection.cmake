# Fails when a source includes a folder of ours above or beside its own, or when a Qt-free
# layer includes a Qt header. Run as: cmake -DROOT=<checkout> -P IncludeDirection.cmake
cmake_policy(SET CMP0007 NEW)

# Each rule: a folder under src/, "=", then what its files may include besides their own
# folder: folders (their subfolders too) or single headers, all under src/. A file is judged
# by the deepest rule folder that holds it.
set(rules
  "audio="
  "engine=engine/base,audio"
  "engine/base="
  "engine/mp3=engine/base,engine/Facts.h,audio"
  "engine/output=engine/base,engine/mp3,engine/Progress.h,engine/Options.h,engine/Facts.h,audio"
  "engine/cut=engine/base,engine/mp3,engine/output,engine/Progress.h,engine/Options.h,engine/Facts.h,audio"
  "engine/join=engine/base,engine/mp3,engine/output,engine/Progress.h,engine/Options.h,engine/Facts.h,engine/Join.h,audio"
  "engine/peaks=engine/base,engine/Progress.h,engine/Options.h,engine/Facts.h,audio"
  "cli=engine,audio"
  "ui=ui/widgets,engine,audio"
  "ui/widgets=ui/Shell.h,ui/MessageBox.h,engine,audio"
  "ui/pages=ui,engine,audio"
  "app=ui,engine,audio")
# Layers that never see Qt.
set(qt_free audio engine cli)

set(bad "")
file(GLOB_RECURSE files RELATIVE ${ROOT}/src ${ROOT}/src/*.h ${ROOT}/src/*.cpp)
foreach(f ${files})
  set(own "")
  set(allowed "")
  foreach(rule ${rules})
    string(FIND "${rule}" "=" eq)
    string(SUBSTRING "${rule}" 0 ${eq} folder)
    math(EXPR rest "${eq} + 1")
    string(SUBSTRING "${rule}" ${rest} -1 list)
    string(LENGTH "${folder}" len)
    string(LENGTH "${own}" ownlen)
    string(FIND "${f}" "${folder}/" at)
    if(at EQUAL 0 AND len GREATER ownlen)
      set(own "${folder}")
      string(REPLACE "," ";" allowed "${list}")
    endif()
  endforeach()
  if(own STREQUAL "")
    list(APPEND bad "${f}: in no layer")
    continue()
  endif()
  set(qt_free_file FALSE)
  foreach(layer ${qt_free})
    string(FIND "${f}" "${layer}/" at)
    if(at EQUAL 0)
      set(qt_free_file TRUE)
    endif()
  endforeach()
  file(STRINGS ${ROOT}/src/${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line ${lines})
    if(qt_free_file AND line MATCHES "include[ \t]*[<\"](Q[A-Za-z]|qt)")
      list(APPEND bad "${f}: Qt in a Qt-free layer: ${line}")
    endif()
    # Only our own headers name a folder of src/ in quotes; moc files and system headers
    # are left alone.
    if(NOT line MATCHES "include[ \t]*\"((audio|engine|cli|ui|app)/[^\"]+)\"")
      continue()
    endif()
    set(target "${CMAKE_MATCH_1}")
    set(ok FALSE)
    foreach(prefix ${own} ${allowed})
      string(FIND "${target}" "${prefix}/" at)
      if(target STREQUAL prefix OR at EQUAL 0)
        set(ok TRUE)
      endif()
    endforeach()
    if(NOT ok)
      list(APPEND bad "${f}: ${line}")
    endif()
  endforeach()
endforeach()

list(LENGTH files count)
if(bad)
  string(REPLACE ";" "\n  " report "${bad}")
  message(FATAL_ERROR "includes against the layer direction:\n  ${report}")
endif()
message(STATUS "${count} sources include only their own folder and the ones below it")
