# Installs unit files written from their .in templates at install time,
# with the install prefix of that moment: @MORVA_SBINDIR@, @MORVA_BINDIR@
# and @MORVA_DOCDIR@ become absolute paths under it, and the files go to
# dest under it (a directory given absolute is kept as it is). Each install
# writes the files in a folder of its own under stagedir, so that installs
# into several prefixes at once do not mix their units.
function(morva_install_units stagedir sbindir bindir docdir dest sources)
  foreach(var sbindir bindir docdir dest)
    if(IS_ABSOLUTE "${${var}}")
      set(full "${${var}}")
    else()
      set(full "${CMAKE_INSTALL_PREFIX}/${${var}}")
    endif()
    string(TOUPPER ${var} name)
    string(REGEX REPLACE "/+" "/" MORVA_${name} "${full}")
  endforeach()
  string(MD5 where "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  string(RANDOM LENGTH 8 tag)
  set(outdir "${stagedir}/${where}-${tag}")
  set(written)
  foreach(src ${sources})
    get_filename_component(name "${src}" NAME)
    string(REGEX REPLACE "\\.in$" "" name "${name}")
    configure_file("${src}" "${outdir}/${name}" @ONLY)
    list(APPEND written "${outdir}/${name}")
  endforeach()
  file(INSTALL DESTINATION "${MORVA_DEST}" TYPE FILE FILES ${written})
  file(REMOVE_RECURSE "${outdir}")
endfunction()

# Installs the settings templates and the logrotate file (the tree under
# srcdir, as under /etc) into the configuration folder of the install
# prefix at that moment: /etc for /usr (the package), PREFIX/etc for any
# other. Into a live system (no DESTDIR) a file already there is kept, as
# dpkg keeps a conffile: the administrator may have edited it. A staging
# tree (DESTDIR, as CPack's) always gets the shipped files.
function(morva_install_etc srcdir)
  string(REGEX REPLACE "(.)/+$" "\\1" prefix "${CMAKE_INSTALL_PREFIX}")
  if(prefix STREQUAL "/usr")
    set(etc /etc)
  else()
    set(etc "${prefix}/etc")
  endif()
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${srcdir}" "${srcdir}/*")
  foreach(rel ${files})
    get_filename_component(dir "${etc}/${rel}" DIRECTORY)
    if("$ENV{DESTDIR}" STREQUAL "" AND EXISTS "${etc}/${rel}")
      message(STATUS "Kept: ${etc}/${rel}")
    else()
      file(INSTALL DESTINATION "${dir}" TYPE FILE FILES "${srcdir}/${rel}"
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    endif()
  endforeach()
endfunction()
