// The JPEG library's standard error manager with one change, shared by the
// reader and the writer: a fatal error prints the library's message and jumps
// back to the caller's setjmp instead of ending the program.
#pragma once

#include <csetjmp>
#include <cstdio>

// jpeglib.h needs size_t and FILE declared before it.
// clang-format off
#include <jpeglib.h>
// clang-format on

struct JpegErrorJump {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

inline void JpegErrorExit(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    longjmp(reinterpret_cast<JpegErrorJump*>(cinfo->err)->jump, 1);
}
