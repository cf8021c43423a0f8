// libjpeg's error manager with the jump buffer that every JPEG operation arms: a
// library error long-jumps back instead of ending the process.
#ifndef VANTOREL_CODECS_JPEG_ERRORS_H
#define VANTOREL_CODECS_JPEG_ERRORS_H

#include <setjmp.h>
#include <stdio.h>

#include <jpeglib.h>
#include <jerror.h>

struct JpegErrorHandler {
    jpeg_error_mgr manager;
    jmp_buf back;
};

// jpeg_std_error defaults, with error_exit jumping back with the value 1.
// Silent handlers also drop every warning and trace message.
jpeg_error_mgr* jpeg_errors_jumping(JpegErrorHandler* handler);
jpeg_error_mgr* jpeg_errors_silent(JpegErrorHandler* handler);

#endif
