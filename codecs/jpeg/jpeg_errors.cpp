// Error managers for the JPEG plug-ins.
#include "codecs/jpeg/jpeg_errors.h"

static void jump_back(j_common_ptr cinfo) {
    longjmp(((JpegErrorHandler*)cinfo->err)->back, 1);
}

static void say_nothing(j_common_ptr) {}

jpeg_error_mgr* jpeg_errors_jumping(JpegErrorHandler* handler) {
    jpeg_error_mgr* manager = jpeg_std_error(&handler->manager);
    manager->error_exit = jump_back;
    return manager;
}

jpeg_error_mgr* jpeg_errors_silent(JpegErrorHandler* handler) {
    jpeg_error_mgr* manager = jpeg_errors_jumping(handler);
    manager->output_message = say_nothing;
    return manager;
}
