# A product version is MAJOR.MINOR.PATCH within the installer's limits (255.255.65535),
# without leading zeros, so that every place that shows it shows the same text.
function(scanleaf_check_version text)
    if(NOT text MATCHES "^(0|[1-9][0-9]*)\\.(0|[1-9][0-9]*)\\.(0|[1-9][0-9]*)$")
        message(FATAL_ERROR "VERSION: \"${text}\" is not MAJOR.MINOR.PATCH (such as 1.0.0)")
    endif()
    if(CMAKE_MATCH_1 GREATER 255 OR CMAKE_MATCH_2 GREATER 255 OR CMAKE_MATCH_3 GREATER 65535)
        message(FATAL_ERROR "VERSION: \"${text}\" is out of range (at most 255.255.65535)")
    endif()
endfunction()
