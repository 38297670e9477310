# CPack pre-build script: compresses the files of CPACK_Q7_COMPRESS (paths
# relative to the install prefix) in the staged tree, without a time stamp,
# as Debian wants them.
foreach(relative ${CPACK_Q7_COMPRESS})
  set(path "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${relative}")
  execute_process(COMMAND gzip -9nf "${path}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "compress_docs: could not compress ${path}")
  endif()
endforeach()
