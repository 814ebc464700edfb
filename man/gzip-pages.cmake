# Run by CPack on its staging tree before it builds the package: compresses
# every manual page with gzip -9n, as Debian wants them, and turns a page
# that is a link into a link to the compressed target. `cmake --install`
# keeps the pages as they are.
find_program(GZIP gzip REQUIRED)
file(GLOB_RECURSE pages LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.[1-9]")
list(FILTER pages INCLUDE REGEX "/man/man[1-9]/[^/]+\\.[1-9]$")
foreach(page IN LISTS pages)
  if(IS_SYMLINK "${page}")
    file(READ_SYMLINK "${page}" target)
    file(REMOVE "${page}")
    file(CREATE_LINK "${target}.gz" "${page}.gz" SYMBOLIC)
  else()
    execute_process(COMMAND "${GZIP}" -9nf "${page}" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "gzip ${page} failed: ${rc}")
    endif()
  endif()
endforeach()
