# Build stamps for the modules' image information and version block.
# string(TIMESTAMP) honours SOURCE_DATE_EPOCH, so with it set two builds of the
# same commit in the same directory are byte-identical.
set(MCN_RELEASE_BASE "1.00.00")
string(TIMESTAMP _stamp_ymd "%Y%m%d" UTC)
set(MCN_RELEASE "${MCN_RELEASE_BASE}P${_stamp_ymd}M1")  # 18 characters
string(LENGTH "${MCN_RELEASE}" _len)
if(NOT _len EQUAL 18)
  message(FATAL_ERROR "release identifier '${MCN_RELEASE}' is not 18 characters")
endif()
string(TIMESTAMP MCN_BUILD_DATE "%b %d %Y" UTC)
string(TIMESTAMP MCN_BUILD_STAMP "%a %b %d %H:%M:%S UTC %Y" UTC)
string(TIMESTAMP MCN_BUILD_TIME "%s" UTC)
set(MCN_BUILD_PATH "${CMAKE_BINARY_DIR}")
cmake_host_system_information(RESULT MCN_BUILD_HOST QUERY HOSTNAME)
configure_file(${CMAKE_CURRENT_LIST_DIR}/../frame/stamp.h.in
               ${CMAKE_BINARY_DIR}/generated/frame/stamp.h @ONLY)
