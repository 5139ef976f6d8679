# Fails when a source in FOLDER includes a header by a path that climbs out of
# it ("../window/Form1.h"). Such a path is found next to the including file,
# before any include directory, so it would slip past a library's include
# view; the logic libraries run this before they are archived.
#   cmake -DFOLDER=<dir> -P RefuseRelativeIncludes.cmake
file(GLOB sources ${FOLDER}/*.cpp ${FOLDER}/*.h)
set(found "")
foreach(source ${sources})
  file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]*\\.\\.")
  foreach(line ${lines})
    string(APPEND found "\n  ${source}: ${line}")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "Includes by a path out of the folder; name the header from the "
                      "project's root instead:${found}")
endif()
