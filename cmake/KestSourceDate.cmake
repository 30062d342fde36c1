# The time that the shipped files carry (PE time stamps, ZIP entry dates), so that the same
# commit packs the same bytes: SOURCE_DATE_EPOCH when it is set, else the commit time of the
# source tree's HEAD, else 1980-01-01 00:00:00 UTC (the first time a ZIP entry can hold).
# Used by the install and package scripts (cmake -P).
function(kest_source_date_epoch out_var source_dir git_executable)
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  if(epoch STREQUAL "" AND git_executable AND EXISTS "${source_dir}/.git")
    execute_process(COMMAND "${git_executable}" -C "${source_dir}" log -1 --format=%ct
                    RESULT_VARIABLE result OUTPUT_VARIABLE epoch ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT result EQUAL 0)
      set(epoch "")
    endif()
  endif()
  if(epoch STREQUAL "")
    set(epoch 315532800)
  endif()
  if(NOT epoch MATCHES "^[0-9]+$" OR epoch LESS 315532800)
    message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a time in seconds from 1980 on, not \"${epoch}\"")
  endif()
  set(${out_var} ${epoch} PARENT_SCOPE)
endfunction()
