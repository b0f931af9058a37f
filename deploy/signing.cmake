# Authenticode signing of the DLLs, the custom actions and the MSI with
# osslsigncode (deploy/sign.sh), when a certificate is given:
#   QV_SIGN_PKCS12          the PKCS#12 file (cache variable or environment)
#   QV_SIGN_PASSWORD        its password, from the environment only, or
#   QV_SIGN_PASSWORD_FILE   a file that holds it (cache variable or environment)
#   QV_SIGN_TIMESTAMP_URL   an RFC 3161 time-stamp server (optional)
# Without QV_SIGN_PKCS12 nothing is signed.
set(QV_SIGN_PKCS12 "$ENV{QV_SIGN_PKCS12}" CACHE FILEPATH
    "PKCS#12 file to sign the DLLs and the MSI with (empty: no signing)")
set(QV_SIGN_PASSWORD_FILE "$ENV{QV_SIGN_PASSWORD_FILE}" CACHE FILEPATH
    "File holding the PKCS#12 password (or set QV_SIGN_PASSWORD in the environment)")
set(QV_SIGN_TIMESTAMP_URL "$ENV{QV_SIGN_TIMESTAMP_URL}" CACHE STRING
    "RFC 3161 time-stamp server for the signatures (optional)")
set(QV_SIGN_ENV QV_SIGN_PKCS12=${QV_SIGN_PKCS12}
    QV_SIGN_PASSWORD_FILE=${QV_SIGN_PASSWORD_FILE}
    QV_SIGN_TIMESTAMP_URL=${QV_SIGN_TIMESTAMP_URL})
set(QV_SIGN_SCRIPT ${PROJECT_SOURCE_DIR}/deploy/sign.sh)

# Signs a target's file in place after each build of it.
function(qv_sign_after_build target)
  if(QV_SIGN_PKCS12)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E env ${QV_SIGN_ENV} sh ${QV_SIGN_SCRIPT}
              $<TARGET_FILE:${target}>
      VERBATIM)
  endif()
endfunction()
