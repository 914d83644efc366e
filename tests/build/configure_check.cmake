# cmake -DSOURCE_DIR=... -DWORK_DIR=... -P configure_check.cmake
# A configure outside the test presets makes a deployment-shaped build or stops: without
# endpoints it stops with one message naming the settings; with a host it builds no tests.
cmake_minimum_required(VERSION 3.25)

function(configure dir)
    file(REMOVE_RECURSE ${dir})
    execute_process(
        COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${dir} -G Ninja
                --toolchain ${SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake ${ARGN}
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    string(REGEX REPLACE "[ \n]+" " " out "${out}")
    set(rc ${rc} PARENT_SCOPE)
    set(out "${out}" PARENT_SCOPE)
endfunction()

configure(${WORK_DIR}/plain)
if(rc EQUAL 0 OR NOT out MATCHES "set VEXA_CONFIG_HOST, or both VEXA_PRIMARY_CONFIG_URL and VEXA_FALLBACK_CONFIG_URL")
    message(FATAL_ERROR "a configure without endpoints did not stop as it should:\n${out}")
endif()

configure(${WORK_DIR}/host -DVEXA_CONFIG_HOST=config.example.com)
file(READ ${WORK_DIR}/host/CMakeCache.txt cache)
if(NOT rc EQUAL 0 OR NOT cache MATCHES "VEXA_BUILD_TESTS:BOOL=OFF"
   OR NOT out MATCHES "Configuration endpoints: https://config.example.com/version.json, http://config.example.com:622/version.json")
    message(FATAL_ERROR "a configure with a host is not deployment-shaped:\n${out}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
