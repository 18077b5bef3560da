# libpng from Debian's source package, for the Windows builds, which Debian
# has no build of: its own sources with the configuration it ships, compiled
# as a static library against the build's zlib. Defines PNG::PNG.
set(QUILLANE_LIBPNG_SOURCE /usr/local/src/quillane/libpng1.6 CACHE PATH
    "Debian's libpng1.6 source package, unpacked (scripts/deps.sh fetches it)")
set(png_dir ${QUILLANE_LIBPNG_SOURCE})
if(NOT EXISTS ${png_dir}/png.h OR NOT EXISTS ${png_dir}/scripts/pnglibconf.h.prebuilt)
  message(FATAL_ERROR "No libpng sources in ${png_dir}: run scripts/test.sh windows, which fetches them")
endif()
enable_language(C)
configure_file(${png_dir}/scripts/pnglibconf.h.prebuilt ${CMAKE_BINARY_DIR}/libpng/pnglibconf.h COPYONLY)
add_library(quillane_png STATIC
  ${png_dir}/png.c ${png_dir}/pngerror.c ${png_dir}/pngget.c ${png_dir}/pngmem.c ${png_dir}/pngpread.c
  ${png_dir}/pngread.c ${png_dir}/pngrio.c ${png_dir}/pngrtran.c ${png_dir}/pngrutil.c ${png_dir}/pngset.c
  ${png_dir}/pngtrans.c ${png_dir}/pngwio.c ${png_dir}/pngwrite.c ${png_dir}/pngwtran.c ${png_dir}/pngwutil.c)
target_include_directories(quillane_png SYSTEM PUBLIC ${png_dir} ${CMAKE_BINARY_DIR}/libpng)
target_compile_options(quillane_png PRIVATE -w)
target_link_libraries(quillane_png PUBLIC ZLIB::ZLIB)
add_library(PNG::PNG ALIAS quillane_png)
