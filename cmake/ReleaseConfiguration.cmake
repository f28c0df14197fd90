# The publisher's keys built into vmUpdate, and the release configuration that demands them.
#
# KAVREL_UPDATE_KEYS_FILE names a public-key file in vmupdate.pub's form (one key a line,
# "#" notes). When set, vmUpdate trusts those keys alone and refuses every manifest they
# did not sign, whatever lies in the installation. A plain development build leaves it
# empty and keeps the installation's vmupdate.pub, or no checks at all without one.
#
# KAVREL_RELEASE builds what members install: it refuses to configure without built-in
# keys, or with a download host that is empty or on this machine (any local user could
# answer there), and it compiles out every seam that only tests may use.
set(KAVREL_UPDATE_KEYS_FILE "" CACHE FILEPATH "publisher's public keys built into vmUpdate (vmupdate.pub form)")
option(KAVREL_RELEASE "release configuration: built-in update keys and a real download host required" OFF)

set(KAVREL_BUILTIN_KEYS "")
if(KAVREL_UPDATE_KEYS_FILE)
  if(NOT EXISTS "${KAVREL_UPDATE_KEYS_FILE}")
    message(FATAL_ERROR "KAVREL_UPDATE_KEYS_FILE: ${KAVREL_UPDATE_KEYS_FILE} does not exist")
  endif()
  file(READ "${KAVREL_UPDATE_KEYS_FILE}" KAVREL_BUILTIN_KEYS)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${KAVREL_UPDATE_KEYS_FILE}")
  # The same rule vmUpdate applies: every line a key (44 base64 characters for 32 bytes),
  # a note or blank, and at least one key. A secret key file given by mistake fails here.
  string(REPLACE "\r" "" _keys_text "${KAVREL_BUILTIN_KEYS}")
  string(REPLACE "\n" ";" _key_lines "${_keys_text}")
  set(_key_count 0)
  foreach(_line IN LISTS _key_lines)
    if(_line STREQUAL "" OR _line MATCHES "^#")
      continue()
    endif()
    if(NOT _line MATCHES "^[A-Za-z0-9+/]+=$")
      message(FATAL_ERROR "KAVREL_UPDATE_KEYS_FILE: \"${_line}\" is not a public key")
    endif()
    string(LENGTH "${_line}" _length)
    if(NOT _length EQUAL 44)
      message(FATAL_ERROR "KAVREL_UPDATE_KEYS_FILE: \"${_line}\" is not a public key")
    endif()
    math(EXPR _key_count "${_key_count} + 1")
  endforeach()
  if(_key_count EQUAL 0)
    message(FATAL_ERROR "KAVREL_UPDATE_KEYS_FILE: ${KAVREL_UPDATE_KEYS_FILE} lists no key")
  endif()
  if(KAVREL_BUILTIN_KEYS MATCHES "\\)kavrelkeys")
    message(FATAL_ERROR "KAVREL_UPDATE_KEYS_FILE: a note holds \")kavrelkeys\"")
  endif()
endif()

# Called once KAVREL_DOWNLOAD_HOST is known (client/CMakeLists.txt defines it).
function(kavrel_check_release_configuration)
  if(NOT KAVREL_RELEASE)
    return()
  endif()
  if(NOT KAVREL_UPDATE_KEYS_FILE)
    message(FATAL_ERROR "KAVREL_RELEASE needs KAVREL_UPDATE_KEYS_FILE: a release must not accept unsigned updates")
  endif()
  # host[:port] or scheme://host[:port], the host compared without letter case.
  string(TOLOWER "${KAVREL_DOWNLOAD_HOST}" _host)
  string(REGEX REPLACE "^[a-z][a-z0-9+.-]*://" "" _host "${_host}")
  string(REGEX REPLACE "/.*$" "" _host "${_host}")
  if(_host MATCHES "^\\[([^]]*)\\]")
    set(_name "${CMAKE_MATCH_1}")
  else()
    string(REGEX REPLACE ":[0-9]*$" "" _name "${_host}")
  endif()
  if(_name STREQUAL "" OR _name MATCHES "^127\\." OR _name MATCHES "^0+\\." OR _name STREQUAL "0"
     OR _name STREQUAL "localhost" OR _name MATCHES "\\.localhost$" OR _name MATCHES "^(0*:)*:?0*1$"
     OR _name MATCHES "^::ffff:127\\." OR _name STREQUAL "::")
    message(FATAL_ERROR "KAVREL_RELEASE: KAVREL_DOWNLOAD_HOST \"${KAVREL_DOWNLOAD_HOST}\" is empty or on this machine")
  endif()
endfunction()
