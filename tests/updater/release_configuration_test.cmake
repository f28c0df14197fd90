# Runs cmake/ReleaseConfiguration.cmake over a table of configurations in script mode and
# fails when one is accepted that must be refused, or the other way round.
#   cmake -DSOURCE_DIR=<top> -DWORK_DIR=<scratch> -P release_configuration_test.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
# 32 bytes of base64, as vmupdate.pub holds them; the secret key's line is 64 bytes.
set(key "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=")
set(secret "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8AAQIDBAUGBwgJCgsMDQ4PEBESExQVFhcYGRobHB0eHw==")
file(WRITE "${WORK_DIR}/good.pub" "# 2026 key\n${key}\n")
file(WRITE "${WORK_DIR}/rotation.pub" "# old\r\n${key}\r\n\r\n# new\r\n${key}\r\n")
file(WRITE "${WORK_DIR}/secret.pub" "${secret}\n")
file(WRITE "${WORK_DIR}/notes.pub" "# nothing but a note\n")

# name | KAVREL_RELEASE | keys file ("-" none) | download host | expected: ok or a part of the refusal
set(cases
  "development build, nothing set|OFF|-|127.0.0.1:18080|ok"
  "release with a key and a host|ON|good.pub|updates.example.org|ok"
  "release, https host with a port|ON|good.pub|https://updates.example.org:8443|ok"
  "release, address on the network|ON|good.pub|10.0.0.5:80|ok"
  "release, two keys while rotating|ON|rotation.pub|updates.example.org|ok"
  "release without a key|ON|-|updates.example.org|needs KAVREL_UPDATE_KEYS_FILE"
  "release, empty host|ON|good.pub||is empty or on this machine"
  "release, loopback host|ON|good.pub|127.0.0.1:18080|is empty or on this machine"
  "release, other loopback address|ON|good.pub|http://127.4.5.6|is empty or on this machine"
  "release, localhost any case|ON|good.pub|https://LocalHost:8443|is empty or on this machine"
  "release, IPv6 loopback|ON|good.pub|[::1]:8080|is empty or on this machine"
  "release, any address|ON|good.pub|0.0.0.0:80|is empty or on this machine"
  "secret key given as the public one|OFF|secret.pub|updates.example.org|is not a public key"
  "key file without a key|OFF|notes.pub|updates.example.org|lists no key"
  "key file missing|OFF|missing.pub|updates.example.org|does not exist")

set(failures "")
foreach(row IN LISTS cases)
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 name)
  list(GET fields 1 release)
  list(GET fields 2 keys)
  list(GET fields 3 host)
  list(GET fields 4 expected)
  set(keys_path "")
  if(NOT keys STREQUAL "-")
    set(keys_path "${WORK_DIR}/${keys}")
  endif()
  file(WRITE "${WORK_DIR}/case.cmake"
    "cmake_minimum_required(VERSION 3.25)\n"
    "set(KAVREL_RELEASE ${release})\n"
    "set(KAVREL_UPDATE_KEYS_FILE \"${keys_path}\")\n"
    "set(KAVREL_DOWNLOAD_HOST \"${host}\")\n"
    "include(\"${SOURCE_DIR}/cmake/ReleaseConfiguration.cmake\")\n"
    "kavrel_check_release_configuration()\n")
  execute_process(COMMAND "${CMAKE_COMMAND}" -P "${WORK_DIR}/case.cmake"
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(expected STREQUAL "ok")
    if(NOT code EQUAL 0)
      string(APPEND failures "${name}: refused: ${err}\n")
    endif()
  elseif(code EQUAL 0)
    string(APPEND failures "${name}: accepted\n")
  else()
    # CMake wraps its messages: compare with the blanks of each run collapsed.
    string(REGEX REPLACE "[ \t\r\n]+" " " err "${err}")
    string(FIND "${err}" "${expected}" at)
    if(at EQUAL -1)
      string(APPEND failures "${name}: refused without \"${expected}\": ${err}\n")
    endif()
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
