# Where the installer finds its server configuration. A deployment sets VEXA_CONFIG_HOST (or
# both URLs); a build with tests points both endpoints at the loopback test server unless they
# are set. A build without tests and without endpoints stops here: it would have none to use.

set(VEXA_CONFIG_HOST "" CACHE STRING "Host name of the two configuration endpoints")
set(VEXA_PRIMARY_CONFIG_URL "" CACHE STRING
    "Primary configuration endpoint; empty means https://<VEXA_CONFIG_HOST>/version.json")
set(VEXA_FALLBACK_CONFIG_URL "" CACHE STRING
    "Fallback configuration endpoint; empty means http://<VEXA_CONFIG_HOST>:622/version.json")

if(VEXA_BUILD_TESTS AND NOT VEXA_CONFIG_HOST STREQUAL "")
    message(FATAL_ERROR "VEXA_CONFIG_HOST is a deployment setting, but this build has tests, whose "
                        "endpoints are the loopback test server: configure with "
                        "-DVEXA_BUILD_TESTS=OFF (cmake --preset deploy -DVEXA_CONFIG_HOST=...).")
endif()

if(VEXA_BUILD_TESTS)
    # Each build folder gets its own block of ports, so that two builds can test at once.
    string(MD5 _vexa_hash "${CMAKE_BINARY_DIR}")
    string(SUBSTRING "${_vexa_hash}" 0 4 _vexa_hex)
    math(EXPR _vexa_port_base "20000 + (0x${_vexa_hex} % 3000) * 10")
    set(VEXA_TEST_PORT_BASE ${_vexa_port_base} CACHE STRING
        "First of the ten loopback ports that this build's test servers use")
    math(EXPR VEXA_TEST_HTTP_PORT "${VEXA_TEST_PORT_BASE} + 0")
    math(EXPR VEXA_TEST_HTTPS_PORT "${VEXA_TEST_PORT_BASE} + 1")
    math(EXPR VEXA_TEST_UNTRUSTED_PORT "${VEXA_TEST_PORT_BASE} + 2")
    math(EXPR VEXA_TEST_REFUSED_PORT "${VEXA_TEST_PORT_BASE} + 3")
    math(EXPR VEXA_TEST_MIXED_PORT "${VEXA_TEST_PORT_BASE} + 4")
    math(EXPR VEXA_TEST_PROXY_PORT "${VEXA_TEST_PORT_BASE} + 5")
    math(EXPR VEXA_TEST_PROXY_407_PORT "${VEXA_TEST_PORT_BASE} + 6")
    set(_vexa_default_primary "https://localhost:${VEXA_TEST_HTTPS_PORT}/primary/version.json")
    set(_vexa_default_fallback "http://localhost:${VEXA_TEST_HTTP_PORT}/fallback/version.json")
else()
    if(VEXA_CONFIG_HOST STREQUAL "" AND
       (VEXA_PRIMARY_CONFIG_URL STREQUAL "" OR VEXA_FALLBACK_CONFIG_URL STREQUAL ""))
        message(FATAL_ERROR "A build without tests needs its configuration endpoints: set "
                            "VEXA_CONFIG_HOST, or both VEXA_PRIMARY_CONFIG_URL and "
                            "VEXA_FALLBACK_CONFIG_URL (cmake --preset deploy "
                            "-DVEXA_CONFIG_HOST=config.example.com).")
    endif()
    set(_vexa_default_primary "https://${VEXA_CONFIG_HOST}/version.json")
    set(_vexa_default_fallback "http://${VEXA_CONFIG_HOST}:622/version.json")
endif()

set(VEXA_PRIMARY_CONFIG_URL_EFFECTIVE "${VEXA_PRIMARY_CONFIG_URL}")
if(VEXA_PRIMARY_CONFIG_URL_EFFECTIVE STREQUAL "")
    set(VEXA_PRIMARY_CONFIG_URL_EFFECTIVE "${_vexa_default_primary}")
endif()
set(VEXA_FALLBACK_CONFIG_URL_EFFECTIVE "${VEXA_FALLBACK_CONFIG_URL}")
if(VEXA_FALLBACK_CONFIG_URL_EFFECTIVE STREQUAL "")
    set(VEXA_FALLBACK_CONFIG_URL_EFFECTIVE "${_vexa_default_fallback}")
endif()
message(STATUS "Configuration endpoints: ${VEXA_PRIMARY_CONFIG_URL_EFFECTIVE}, "
               "${VEXA_FALLBACK_CONFIG_URL_EFFECTIVE}")
