# The control's COM surface. widl compiles Brindolux.idl into the type
# library (resource TYPELIB 1 of the module that links brx_typelib_res) and
# into the header and GUIDs that the control, the program and the tests
# share through brx_idl.
find_program(BRX_PYTHON3 NAMES python3 REQUIRED)
find_program(BRX_ICONV NAMES iconv REQUIRED)
find_program(BRX_WIDL NAMES ${BRX_TRIPLE}-widl REQUIRED)

set(BRX_WINE_IDL_DIR /usr/include/wine/wine/windows)
# stdole2.tlb is only imported by name and identifier, so a library of the
# other width serves when the matching one is not installed.
if(BRX_TRIPLE MATCHES "^i686")
  set(widl_arch --win32)
  set(stdole2_dirs /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/x86_64-linux-gnu/wine/i386-windows
                   /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
else()
  set(widl_arch --win64)
  set(stdole2_dirs /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/i386-linux-gnu/wine/i386-windows
                   /usr/lib/x86_64-linux-gnu/wine/i386-windows)
endif()
find_path(BRX_STDOLE2_DIR stdole2.tlb PATHS ${stdole2_dirs} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

set(typelib_dir ${CMAKE_CURRENT_BINARY_DIR}/typelib)
set(typelib_idl ${CMAKE_CURRENT_LIST_DIR}/Brindolux.idl)
set(typelib_idl_936 ${typelib_dir}/Brindolux.idl)
set(BRX_TYPELIB_TLB ${typelib_dir}/BrindoluxTLB.tlb)
set(typelib_h ${typelib_dir}/BrindoluxTLB.h)
set(typelib_i ${typelib_dir}/BrindoluxTLB_i.c)
set(BRX_TOOLBOX_BMP ${typelib_dir}/ToolboxBitmap.bmp)
set(toolbox_tool ${PROJECT_SOURCE_DIR}/tools/make_toolbox_bitmap.py)
file(MAKE_DIRECTORY ${typelib_dir})

# Type library strings are byte text read in the system code page: the
# Chinese help strings are stored as GBK, as on the systems the control
# was made for.
add_custom_command(OUTPUT ${typelib_idl_936}
  COMMAND ${BRX_ICONV} -f UTF-8 -t CP936 ${typelib_idl} -o ${typelib_idl_936}
  DEPENDS ${typelib_idl}
  COMMENT "Converting Brindolux.idl to code page 936")
add_custom_command(OUTPUT ${BRX_TYPELIB_TLB} ${typelib_h} ${typelib_i}
  COMMAND ${BRX_WIDL} ${widl_arch} -I${CMAKE_CURRENT_LIST_DIR} -I${BRX_WINE_IDL_DIR} -L${BRX_STDOLE2_DIR}
          -t -T ${BRX_TYPELIB_TLB} -h -H ${typelib_h} -u -U ${typelib_i} ${typelib_idl_936}
  DEPENDS ${typelib_idl_936} ${CMAKE_CURRENT_LIST_DIR}/StdOleTypes.idl
  WORKING_DIRECTORY ${typelib_dir}
  COMMENT "Compiling the type library")
add_custom_command(OUTPUT ${BRX_TOOLBOX_BMP}
  COMMAND ${BRX_PYTHON3} ${toolbox_tool} ${BRX_TOOLBOX_BMP}
  DEPENDS ${toolbox_tool}
  COMMENT "Drawing the toolbox bitmap")

add_library(brx_idl STATIC ${typelib_i} ${typelib_h})
# The generated header includes StdOleTypes.h beside the IDL; the control's
# root serves the COM helpers in ole/ that the program shares.
target_include_directories(brx_idl PUBLIC ${typelib_dir} ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(brx_idl PUBLIC ole32 oleaut32 uuid)
brx_defaults(brx_idl)

configure_file(${CMAKE_CURRENT_LIST_DIR}/TypeLib.rc.in ${typelib_dir}/TypeLib.rc @ONLY)
set_source_files_properties(${typelib_dir}/TypeLib.rc PROPERTIES
  OBJECT_DEPENDS "${BRX_TYPELIB_TLB};${BRX_TOOLBOX_BMP}")
add_library(brx_typelib_res OBJECT ${typelib_dir}/TypeLib.rc ${BRX_TYPELIB_TLB} ${BRX_TOOLBOX_BMP})
