# Compiles every source of media/ with the mingw-w64 compiler against the Windows SDK headers.
# Run with -DCXX=compiler -DROOT=source tree -DOUT=object directory.
file(GLOB sources ${ROOT}/media/*.cpp)
file(MAKE_DIRECTORY ${OUT})
set(failed "")
foreach(source ${sources})
  get_filename_component(name ${source} NAME_WE)
  execute_process(
    COMMAND ${CXX} -std=c++20 -Wall -Wextra -Werror -I${ROOT} -c ${source} -o ${OUT}/${name}.o
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    list(APPEND failed ${name})
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "media/ does not build against the Windows SDK headers: ${failed}")
endif()
