# Zips a staged folder the same way every time, so that the same commit gives the same bytes:
# every file dated `epoch`, the entries in byte order of their paths, no extra attributes and no
# folder entries, the dates written in UTC. Used by the release and test package scripts
# (cmake -P). `staging` is a folder of `staging_parent`; the archive's paths start with its name.
# count_var gets the number of files zipped.
function(kest_zip_tree archive staging_parent staging epoch count_var)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${staging_parent} ${staging}/*)
  list(SORT files COMPARE STRING)
  execute_process(COMMAND touch -h -d @${epoch} ${files} WORKING_DIRECTORY ${staging_parent} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Dating the staged files failed")
  endif()
  list(JOIN files "\n" file_list)
  file(WRITE ${staging_parent}.files "${file_list}\n")
  # zip writes local time into the entries: UTC, so that the date is the same everywhere.
  set(ENV{TZ} UTC)
  execute_process(COMMAND ${KEST_ZIP} -X -D -q ${archive} -@
                  WORKING_DIRECTORY ${staging_parent} INPUT_FILE ${staging_parent}.files RESULT_VARIABLE result)
  file(REMOVE ${staging_parent}.files)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "zip failed (${result}) making ${archive}")
  endif()
  list(LENGTH files count)
  set(${count_var} ${count} PARENT_SCOPE)
endfunction()
