# Refuses module objects that carry a global constructor: the module links no runtime, so nothing
# would run it. GCC has no warning for one, and the linker silently drops the table that lists it.
# Usage: cmake -DOBJDUMP=<objdump> -DOBJECTS=<object;...> -P NoGlobalConstructors.cmake
foreach(object IN LISTS OBJECTS)
  execute_process(COMMAND ${OBJDUMP} -h ${object} OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot read ${object}")
  endif()
  if(headers MATCHES "[.](ctors|init_array)")
    message(FATAL_ERROR "${object} has a global constructor, which nothing would run")
  endif()
endforeach()
