# Run by CPack on its staging tree after CPACK_STRIP_FILES: takes from the
# programs the sections that strip leaves and Debian's packages do not
# carry (the compilers' .comment, the .note section), as dh_strip does.
find_program(STRIP strip REQUIRED)
file(GLOB programs LIST_DIRECTORIES false
  "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*" "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/sbin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${STRIP}" --remove-section=.comment --remove-section=.note "${program}"
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "strip ${program} failed: ${rc}")
  endif()
endforeach()
