# cmake -DINSTALLER=EXE [-DPKCS12=FILE -DPASSWORD_FILE=FILE [-DTIMESTAMP_URL=URL]] -P SignInstaller.cmake
# Run right after the installer is linked. With a certificate it signs the installer in place
# with osslsigncode (SHA-256; the password is read from its file, so it is never on a command
# line). Either way the SHA-256 of what was built is the last line, so that anyone who builds
# the same commit can compare; a signed build names the unsigned bytes' SHA-256 as well, which
# is what osslsigncode remove-signature gives back.
cmake_minimum_required(VERSION 3.25)

file(SHA256 "${INSTALLER}" unsigned)
if(NOT PKCS12)
    message("VexaBoxInstaller.exe SHA-256 ${unsigned}")
    return()
endif()
find_program(OSSLSIGNCODE osslsigncode REQUIRED)
set(timestamp "")
if(TIMESTAMP_URL)
    set(timestamp -ts "${TIMESTAMP_URL}")
endif()
file(REMOVE "${INSTALLER}.signed")
# The description is the program's ASCII name: osslsigncode writes it as an IA5 string, where
# Chinese characters would show garbled.
execute_process(
    COMMAND "${OSSLSIGNCODE}" sign -pkcs12 "${PKCS12}" -readpass "${PASSWORD_FILE}" -h sha256
            -n VexaBoxInstaller ${timestamp} -in "${INSTALLER}" -out "${INSTALLER}.signed"
    RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(failed)
    message(FATAL_ERROR "osslsigncode could not sign ${INSTALLER}:\n${output}")
endif()
file(RENAME "${INSTALLER}.signed" "${INSTALLER}")
file(SHA256 "${INSTALLER}" signed)
message("VexaBoxInstaller.exe SHA-256 ${signed} (signed; unsigned ${unsigned})")
