# Fails when a source includes a folder of ours above or beside its own, when a Qt-free
# layer includes a Qt header, when a front end (cli, ui, app) includes an engine header that
# is not one of the engine's use-case headers, or when a use-case header includes an engine
# header that is not one. Use-case headers include nothing of the engine but each other (and
# the audio layer, which includes nothing of the engine), so none reaches a mechanism through
# another either. Run as: cmake -DROOT=<checkout> -P IncludeDirection.cmake
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
  "engine/cut=engine/Cut.h,engine/base,engine/mp3,engine/output,engine/Progress.h,engine/Options.h,engine/Facts.h,engine/Peaks.h,audio"
  "engine/join=engine/Join.h,engine/base,engine/mp3,engine/output,engine/Progress.h,engine/Options.h,engine/Facts.h,audio"
  "engine/peaks=engine/base,engine/Progress.h,engine/Options.h,engine/Facts.h,engine/Peaks.h,audio"
  "cli=engine,audio"
  "ui=ui/widgets,engine,audio"
  "ui/widgets=ui/Shell.h,ui/MessageBox.h,engine,audio"
  "ui/pages=ui,engine,audio"
  "app=ui,engine,audio")
# The engine's front door: what the front ends may include of it.
set(use_cases engine/Cut.h engine/Join.h engine/Facts.h engine/Peaks.h engine/Options.h engine/Progress.h
    engine/base)
set(front_ends cli ui app)

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
    # Front ends and use-case headers reach the engine only through its use-case headers.
    set(guarded FALSE)
    foreach(layer ${front_ends})
      string(FIND "${f}" "${layer}/" at)
      if(at EQUAL 0)
        set(guarded TRUE)
      endif()
    endforeach()
    foreach(header ${use_cases})
      string(FIND "${f}" "${header}" at)
      if(f STREQUAL header OR (at EQUAL 0 AND NOT header MATCHES "\\.h$"))
        set(guarded TRUE)
      endif()
    endforeach()
    string(FIND "${target}" "engine/" at)
    if(guarded AND at EQUAL 0)
      set(door FALSE)
      foreach(header ${use_cases})
        string(FIND "${target}" "${header}/" under)
        if(target STREQUAL header OR under EQUAL 0)
          set(door TRUE)
        endif()
      endforeach()
      if(NOT door)
        list(APPEND bad "${f}: past the engine's use-case headers: ${line}")
      endif()
    endif()
  endforeach()
endforeach()

list(LENGTH files count)
if(bad)
  string(REPLACE ";" "\n  " report "${bad}")
  message(FATAL_ERROR "includes against the layer direction:\n  ${report}")
endif()
message(STATUS "${count} sources include only their own folder and the ones below it")
