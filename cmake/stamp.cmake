# Build stamps for the modules' image information and version block.
#
# The moment is the configure time, or SOURCE_DATE_EPOCH when it is set (as
# string(TIMESTAMP) reads it). Its texts are local time in the build's time
# zone (TZ, else the system's), as the version block documents; with
# SOURCE_DATE_EPOCH set they are UTC, so that two builds of one commit agree
# wherever they are made. A zone whose abbreviation is not three letters
# cannot fill the 28-character stamp, and UTC stands in for it.
set(MCN_RELEASE_BASE "1.00.00")
string(TIMESTAMP MCN_BUILD_TIME "%s" UTC)

function(mcn_local_time out format zone)
  set(command env LC_ALL=C)
  if(zone)
    list(APPEND command TZ=${zone})
  endif()
  execute_process(COMMAND ${command} date -d @${MCN_BUILD_TIME} "+${format}"
                  OUTPUT_VARIABLE text OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "date cannot format the build time ${MCN_BUILD_TIME}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(_zone "")
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(_zone UTC)
endif()
mcn_local_time(MCN_BUILD_STAMP "%a %b %d %H:%M:%S %Z %Y" "${_zone}")
string(LENGTH "${MCN_BUILD_STAMP}" _len)
if(NOT _len EQUAL 28)
  message(STATUS "time zone abbreviation is not three letters ('${MCN_BUILD_STAMP}'): stamps in UTC")
  set(_zone UTC)
  mcn_local_time(MCN_BUILD_STAMP "%a %b %d %H:%M:%S %Z %Y" "${_zone}")
endif()
mcn_local_time(MCN_BUILD_DATE "%b %d %Y" "${_zone}")
mcn_local_time(_stamp_ymd "%Y%m%d" "${_zone}")

set(MCN_RELEASE "${MCN_RELEASE_BASE}P${_stamp_ymd}M1")  # 18 characters
string(LENGTH "${MCN_RELEASE}" _len)
if(NOT _len EQUAL 18)
  message(FATAL_ERROR "release identifier '${MCN_RELEASE}' is not 18 characters")
endif()
# The build path and build host of the version block: texts that do not
# depend on the machine, so that two builds agree wherever they are made,
# unless a build records its own (-DMCN_BUILD_PATH=$PWD -DMCN_BUILD_HOST=$(hostname)).
set(MCN_BUILD_PATH "datemodules-${PROJECT_VERSION}" CACHE STRING "Build path text of the modules' version block")
set(MCN_BUILD_HOST "unrecorded" CACHE STRING "Build host text of the modules' version block")
configure_file(${CMAKE_CURRENT_LIST_DIR}/../frame/stamp.h.in
               ${CMAKE_BINARY_DIR}/generated/frame/stamp.h @ONLY)
