# Round trips on CALS files written by ImageMagick and GraphicsMagick: the tools run on the
# build machine, the edit runs under Wine through the DLL.
add_executable(navigator_roundtrip_edit ${CMAKE_CURRENT_LIST_DIR}/roundtrip/RoundTripEdit.cpp)
target_link_libraries(navigator_roundtrip_edit PRIVATE scanleaf_testsupport)
add_dependencies(navigator_roundtrip_edit Scanleaf)
foreach(writer imagemagick graphicsmagick)
    add_test(NAME RoundTrip.${writer}
             COMMAND /bin/sh ${CMAKE_CURRENT_LIST_DIR}/roundtrip/roundtrip.sh ${writer}
                     ${CMAKE_BINARY_DIR}/wine-run $<TARGET_FILE:navigator_roundtrip_edit>)
    set_tests_properties(RoundTrip.${writer} PROPERTIES TIMEOUT 120 RESOURCE_LOCK hostkey)
endforeach()
