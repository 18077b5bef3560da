#ifndef QUILLANE_VERSION_H
#define QUILLANE_VERSION_H

/* Plain C macros only: this header is read by windres as well as by C++ code. */

#define QUILLANE_VERSION_MAJOR 1
#define QUILLANE_VERSION_MINOR 0
#define QUILLANE_VERSION_PATCH 0
#define QUILLANE_VERSION_BUILD 0

#define QUILLANE_PRODUCT_VERSION_STR "1.0.0.0"
/* The file-version string is deliberately not derived from the numbers above. */
#define QUILLANE_FILE_VERSION_STR "0.01beta"

#define QUILLANE_PRODUCT_NAME "Quillane"
#define QUILLANE_FILE_DESCRIPTION "Quillane carrier GIF to BMP converter"
#define QUILLANE_LEGAL_COPYRIGHT "Copyright (C) 2026 the Quillane developers"

/* Japanese, Unicode (UTF-16LE) */
#define QUILLANE_LANGUAGE_ID 0x0411
#define QUILLANE_CODE_PAGE 1200

#endif
