# Run when installing: writes the pkg-config file for the prefix installed into. Outside
# /usr, its Libs give the library's folder as the program's run path as well, so that a
# program built with `pkg-config --libs orvi` starts without LD_LIBRARY_PATH.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(ORVI_PC_RPATH "")
else()
    set(ORVI_PC_RPATH " -Wl,-rpath,\${libdir}")
endif()
configure_file(${ORVI_PC_IN} ${ORVI_PC_OUT} @ONLY)
file(INSTALL ${ORVI_PC_OUT} DESTINATION "${CMAKE_INSTALL_PREFIX}/${ORVI_PC_LIBDIR}/pkgconfig")
