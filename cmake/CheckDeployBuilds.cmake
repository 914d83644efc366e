# cmake -DSOURCE_DIR=... -DWORK_DIR=... -DSIGNING=BUILD_DIR/signing
#       -DPACKAGE_KEY=BUILD_DIR/package-key/package-public.pem -P CheckDeployBuilds.cmake
# A configure outside the test presets makes a deployment-shaped build or stops: without
# endpoints it stops with one message naming the settings. The deploy preset stops without a
# package key, saying how to make one and how to opt out; the opt-out goes through with a
# warning, a key without one. Two builds of the installer outside the presets in
# different folders give the same bytes, and their last line names them. Signed through the
# signing settings, the installer verifies against the test CA, and without its signature it
# is the unsigned installer again.
cmake_minimum_required(VERSION 3.25)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    string(REGEX REPLACE "[ \n]+" " " flat "${out}")
    set(rc ${rc} PARENT_SCOPE)
    set(out "${out}" PARENT_SCOPE)
    set(flat "${flat}" PARENT_SCOPE)
endfunction()

# Whether the text, its whitespace collapsed as in `flat`, is part of the output.
function(says text result_var)
    string(REGEX REPLACE "[ \n]+" " " text "${text}")
    string(FIND "${flat}" "${text}" at)
    if(at EQUAL -1)
        set(${result_var} FALSE PARENT_SCOPE)
    else()
        set(${result_var} TRUE PARENT_SCOPE)
    endif()
endfunction()

function(configure dir)
    file(REMOVE_RECURSE ${dir})
    run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${dir} -G Ninja
        --toolchain ${SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release ${ARGN})
    set(rc ${rc} PARENT_SCOPE)
    set(flat "${flat}" PARENT_SCOPE)
endfunction()

configure(${WORK_DIR}/plain)
if(rc EQUAL 0 OR NOT flat MATCHES
   "set VEXA_CONFIG_HOST, or both VEXA_PRIMARY_CONFIG_URL and VEXA_FALLBACK_CONFIG_URL")
    message(FATAL_ERROR "a configure without endpoints did not stop as it should:\n${flat}")
endif()

# The deploy preset, configured again and again in one folder, as a user would after each stop.
set(dir ${WORK_DIR}/deploy-preset)
file(REMOVE_RECURSE ${dir})
function(configure_deploy)
    run(${CMAKE_COMMAND} -S ${SOURCE_DIR} --preset deploy -B ${dir}
        -DVEXA_CONFIG_HOST=config.example.com ${ARGN})
    set(rc ${rc} PARENT_SCOPE)
    set(flat "${flat}" PARENT_SCOPE)
endfunction()

configure_deploy()
says("A deployment build needs the public key that signs the packages. Make a key pair once \
with `scripts/package-key DIR` and configure with \
-DVEXA_PACKAGE_PUBLIC_KEY=DIR/package-public.pem, or build an installer that unpacks unsigned \
packages with -DVEXA_ALLOW_UNSIGNED_PACKAGES=ON." stopped)
if(rc EQUAL 0 OR NOT stopped)
    message(FATAL_ERROR "the deploy preset without a package key did not stop so:\n${flat}")
endif()

set(unsigned "VEXA_ALLOW_UNSIGNED_PACKAGES is ON: this installer unpacks whatever package it \
downloads, signed or not (VEXA_PACKAGE_PUBLIC_KEY is empty).")
configure_deploy(-DVEXA_ALLOW_UNSIGNED_PACKAGES=ON)
says("CMake Warning at app/CMakeLists.txt" warning)
says("${unsigned}" warned)
if(NOT rc EQUAL 0 OR NOT warning OR NOT warned)
    message(FATAL_ERROR "the deploy preset did not take the opt-out with a warning:\n${flat}")
endif()

configure_deploy(-DVEXA_ALLOW_UNSIGNED_PACKAGES=OFF -DVEXA_PACKAGE_PUBLIC_KEY=${PACKAGE_KEY})
says("${unsigned}" warned)
if(NOT rc EQUAL 0 OR warned)
    message(FATAL_ERROR "the deploy preset did not take a package key quietly:\n${flat}")
endif()

set(hashes "")
foreach(dir ${WORK_DIR}/one ${WORK_DIR}/somewhere/else/two)
    configure(${dir} -DVEXA_CONFIG_HOST=config.example.com)
    file(READ ${dir}/CMakeCache.txt cache)
    if(NOT rc EQUAL 0 OR NOT cache MATCHES "VEXA_BUILD_TESTS:BOOL=OFF" OR NOT flat MATCHES
       "Configuration endpoints: https://config.example.com/version.json, http://config.example.com:622/version.json")
        message(FATAL_ERROR "a configure with a host is not deployment-shaped:\n${flat}")
    endif()
    run(${CMAKE_COMMAND} --build ${dir} --target VexaBoxInstaller)
    file(SHA256 ${dir}/app/VexaBoxInstaller.exe hash)
    string(STRIP "${out}" out)
    if(NOT rc EQUAL 0 OR NOT out MATCHES "\nVexaBoxInstaller.exe SHA-256 ${hash}$")
        message(FATAL_ERROR "the build did not end with the installer's SHA-256:\n${out}")
    endif()
    list(APPEND hashes ${hash})
endforeach()
list(REMOVE_DUPLICATES hashes)
list(LENGTH hashes different)
if(NOT different EQUAL 1)
    message(FATAL_ERROR "two builds of one source gave different installers: ${hashes}")
endif()
message(STATUS "Both builds: VexaBoxInstaller.exe SHA-256 ${hashes}")

set(dir ${WORK_DIR}/one)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${dir} -DVEXA_SIGN_PKCS12=${SIGNING}/publisher.p12
    -DVEXA_SIGN_PASSWORD_FILE=${SIGNING}/password.txt)
run(${CMAKE_COMMAND} --build ${dir} --target VexaBoxInstaller)
file(SHA256 ${dir}/app/VexaBoxInstaller.exe signed)
if(NOT out MATCHES "VexaBoxInstaller.exe SHA-256 ${signed} \\(signed; unsigned ${hashes}\\)")
    message(FATAL_ERROR "the signed build did not end with both SHA-256s:\n${out}")
endif()
find_program(OSSLSIGNCODE osslsigncode REQUIRED)
run(${OSSLSIGNCODE} verify -CAfile ${SIGNING}/ca.pem -in ${dir}/app/VexaBoxInstaller.exe)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "osslsigncode does not accept the signed installer:\n${out}")
endif()
run(${OSSLSIGNCODE} remove-signature -in ${dir}/app/VexaBoxInstaller.exe -out ${dir}/removed.exe)
file(SHA256 ${dir}/removed.exe removed)
if(NOT removed STREQUAL hashes)
    message(FATAL_ERROR "without its signature the signed installer is not the unsigned one")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
